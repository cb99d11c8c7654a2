// The SQL both stores speak: one schema, one insert that skips a fact already there, one query.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "store/store.h"

namespace movar::store {

// The insert of `rows` facts that skips those already there: $1 terminal, $2 person, $3 time,
// $4 machine, $5 collected, $6 source, $7 seq, then $8.. the next fact's. Many rows a statement
// saves a round trip a fact where the database is on another machine.
constexpr std::size_t kInsertColumns = 7;
std::string insertFacts(std::size_t rows);
// $1 from $2 to $3 person $4 terminal $5 after, each NULL for any. A store read as it was made
// before facts had numbers (`numbered` false) answers 0 for each.
std::string selectFacts(bool numbered);

extern const char* const kAddSequence;  // for a store whose facts have no seq yet
extern const char* const kAddKind;      // for a store whose log holds downloads alone
extern const char* const kReadSequence;     // the last number given
extern const char* const kAdvanceSequence;  // $1 the last number given now
// $1 id $2 terminal $3 started $4 finished $5 result $6 reason $7 records $8 new $9 announced
// $10 kind
extern const char* const kInsertAttempt;
// Per terminal: its latest download (terminal, id, started, finished, result, reason, records,
// new, announced), its latest good one's finished and announced, the downloads since that one,
// then its latest clock setting's id, started, finished, result, reason (NULL when none) and its
// latest good one's finished. A store read as it was made before the log had kinds (`kinded`
// false) holds downloads alone.
std::string selectTerminals(bool kinded);
Attempt::Result resultOf(const std::string& text);

// $1 finished $2 result $3 reason $4 records $5 new $6 announced $7 id (SQLite numbers its
// parameters in the order they first appear: each statement names them in rising order)
extern const char* const kUpdateAttempt;

struct QueryBounds {
  std::optional<std::string> from, to;
};
// A `to` that is a date alone takes in the whole day.
QueryBounds boundsOf(const Query& query);

// The fact a probe of writability writes and rolls back: no record has these fields.
Fact probeFact();

// "YYYY-MM-DD HH:MM:SS" in UTC.
std::string utcNow();

// $1 after: day, terminal, facts, their greatest seq.
extern const char* const kTallyDays;

// What a reader finds: the tables that tell which schema a store has.
struct SchemaFound {
  bool facts = false, numbered = false, logged = false;  // attendance, its seq, collections
  bool kinded = false;                                   // collections' kind
};
// The words for a store a reader cannot use as it found it; empty when it can.
std::string unreadable(const SchemaFound& found, const std::string& where);
// The words for a store read without a collection log.
std::string noCollectionLog(const std::string& where);

std::unique_ptr<Store> openSqliteStore(const std::string& path, Access access);
std::unique_ptr<Store> openPostgresStore(const std::string& connection, Access access);

}  // namespace movar::store
