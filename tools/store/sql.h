// The SQL both stores speak: one schema, one insert that skips a fact already there, one query.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "store/store.h"

namespace movar::store {

// The insert of `rows` facts that skips those already there: $1 terminal, $2 person, $3 time,
// $4 machine, $5 collected, $6 source, then $7.. the next fact's. Many rows a statement saves a
// round trip a fact where the database is on another machine.
constexpr std::size_t kInsertColumns = 6;
std::string insertFacts(std::size_t rows);
extern const char* const kSelectFacts;  // ?1 from ?2 to ?3 person ?4 terminal, each NULL for any

struct QueryBounds {
  std::optional<std::string> from, to;
};
// A `to` that is a date alone takes in the whole day.
QueryBounds boundsOf(const Query& query);

// The fact a probe of writability writes and rolls back: no record has these fields.
Fact probeFact();

// "YYYY-MM-DD HH:MM:SS" in UTC.
std::string utcNow();

std::unique_ptr<Store> openSqliteStore(const std::string& path, bool create);
std::unique_ptr<Store> openPostgresStore(const std::string& connection);

}  // namespace movar::store
