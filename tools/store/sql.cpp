#include "store/sql.h"

#include <ctime>

#include "store/location.h"

namespace movar::store {

// Text in byte order, so that every store answers in the same order whatever its server's locale:
// SQLite's own "binary"; PostgreSQL's store makes a collation of that name from "C".
const char* const kSchema = R"(CREATE TABLE IF NOT EXISTS attendance (
  terminal  TEXT    COLLATE "binary" NOT NULL,
  person    INTEGER NOT NULL,
  time      TEXT    COLLATE "binary" NOT NULL,
  machine   INTEGER NOT NULL,
  collected TEXT    NOT NULL,
  source    TEXT    NOT NULL,
  PRIMARY KEY (terminal, person, time, machine)
);
CREATE INDEX IF NOT EXISTS attendance_by_time ON attendance (time);
CREATE INDEX IF NOT EXISTS attendance_by_person ON attendance (person, time);
)";

std::string insertFacts(std::size_t rows) {
  std::string sql = "INSERT INTO attendance (terminal, person, time, machine, collected, source) VALUES ";
  for (std::size_t row = 0; row < rows; ++row) {
    sql += row ? ", (" : "(";
    for (std::size_t column = 1; column <= kInsertColumns; ++column) {
      sql += (column > 1 ? ", $" : "$") + std::to_string(row * kInsertColumns + column);
    }
    sql += ")";
  }
  return sql + " ON CONFLICT DO NOTHING";
}

const char* const kSelectFacts =
    "SELECT terminal, person, time, machine, collected FROM attendance "
    "WHERE (CAST($1 AS TEXT) IS NULL OR time >= $1) AND (CAST($2 AS TEXT) IS NULL OR time <= $2) "
    "AND (CAST($3 AS INTEGER) IS NULL OR person = $3) "
    "AND (CAST($4 AS TEXT) IS NULL OR terminal = $4) "
    "ORDER BY time, terminal, person, machine";

QueryBounds boundsOf(const Query& query) {
  QueryBounds b{query.from, query.to};
  if (b.to && b.to->size() == 10) *b.to += " 23:59";
  return b;
}

Fact probeFact() { return {"", -1, "", -1}; }

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[24];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text;
}

std::unique_ptr<Store> openStore(const std::string& location, bool create) {
  const Location read = readLocation(location);
  if (!read.problem.empty()) throw StoreError(read.problem);
  return read.kind == Location::Kind::Postgres ? openPostgresStore(location) : openSqliteStore(location, create);
}

}  // namespace movar::store
