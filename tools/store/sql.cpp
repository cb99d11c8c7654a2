#include "store/sql.h"

#include <cstdio>
#include <ctime>

#include "store/location.h"

namespace movar::store {

// Text in byte order, so that every store answers in the same order whatever its server's locale:
// SQLite's own "binary"; PostgreSQL's store makes a collation of that name from "C".
// A fact's seq and an attempt's id come from one counter (store_sequence), read and advanced in
// the writing transaction: writers take turns on its row, so numbers rise in commit order and a
// reader that asks for what came after N never misses one that commits later with a smaller one.
const char* const kSchema = R"(CREATE TABLE IF NOT EXISTS attendance (
  terminal  TEXT    COLLATE "binary" NOT NULL,
  person    INTEGER NOT NULL,
  time      TEXT    COLLATE "binary" NOT NULL,
  machine   INTEGER NOT NULL,
  collected TEXT    NOT NULL,
  source    TEXT    NOT NULL,
  seq       BIGINT  NOT NULL,
  PRIMARY KEY (terminal, person, time, machine)
);
-- In the order facts are read out and with every column read: a stream reads this index alone.
CREATE INDEX IF NOT EXISTS attendance_in_time_order ON attendance (time, terminal, person, machine, collected, seq);
DROP INDEX IF EXISTS attendance_by_time;
CREATE INDEX IF NOT EXISTS attendance_by_person ON attendance (person, time);
CREATE UNIQUE INDEX IF NOT EXISTS attendance_by_seq ON attendance (seq);
CREATE TABLE IF NOT EXISTS collections (
  id          BIGINT  PRIMARY KEY,
  terminal    TEXT    COLLATE "binary" NOT NULL,
  started     TEXT    NOT NULL,
  finished    TEXT    NOT NULL,
  result      TEXT    NOT NULL CHECK (result IN ('ok', 'failed', 'interrupted')),
  reason      TEXT    NOT NULL,
  records     BIGINT  NOT NULL,
  new_records BIGINT  NOT NULL,
  announced   BIGINT,
  kind        TEXT    NOT NULL DEFAULT 'download' CHECK (kind IN ('download', 'clock'))
);
CREATE INDEX IF NOT EXISTS collections_by_terminal ON collections (terminal, id);
CREATE TABLE IF NOT EXISTS terminals (
  terminal    TEXT    COLLATE "binary" PRIMARY KEY,
  name        TEXT    NOT NULL,
  capacity    BIGINT,
  clock       TEXT    NOT NULL DEFAULT 'never',
  host        TEXT    NOT NULL DEFAULT '',
  due         BIGINT  NOT NULL DEFAULT 0,
  holder      TEXT,
  lease_until BIGINT,
  last_holder TEXT
);
CREATE TABLE IF NOT EXISTS store_sequence (last BIGINT NOT NULL);
INSERT INTO store_sequence (last) SELECT COALESCE((SELECT MAX(seq) FROM attendance), 0)
  WHERE NOT EXISTS (SELECT 1 FROM store_sequence);
)";

// A store made before facts had numbers: each fact gets one in the order it was collected.
const char* const kAddSequence = R"(ALTER TABLE attendance ADD COLUMN seq BIGINT;
UPDATE attendance SET seq = o.n FROM (
  SELECT terminal AS t, person AS p, time AS m, machine AS k,
         row_number() OVER (ORDER BY collected, time, terminal, person, machine) AS n
  FROM attendance) AS o
WHERE attendance.terminal = o.t AND attendance.person = o.p AND attendance.time = o.m
  AND attendance.machine = o.k;
)";

// A store made before clock settings were logged: every row it has is a download.
const char* const kAddKind = "ALTER TABLE collections ADD COLUMN kind TEXT NOT NULL DEFAULT 'download' "
                             "CHECK (kind IN ('download', 'clock'))";

const char* const kReadSequence = "SELECT last FROM store_sequence";
const char* const kAdvanceSequence = "UPDATE store_sequence SET last = $1";
const char* const kInsertAttempt =
    "INSERT INTO collections (id, terminal, started, finished, result, reason, records, new_records, "
    "announced, kind) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)";
const char* const kUpdateAttempt =
    "UPDATE collections SET finished = $1, result = $2, reason = $3, records = $4, new_records = $5, "
    "announced = $6 WHERE id = $7";

std::string selectTerminals(bool kinded) {
  const std::string downloads = kinded ? "kind = 'download'" : "1 = 1";
  const std::string clocks = kinded ? "kind = 'clock'" : "1 = 0";
  return "WITH d AS (SELECT * FROM collections WHERE " + downloads + "),\n"
         "k AS (SELECT * FROM collections WHERE " + clocks + "),\n"
         "good AS (SELECT terminal, MAX(id) AS id FROM d WHERE result = 'ok' GROUP BY terminal),\n"
         "lastk AS (SELECT terminal, MAX(id) AS id FROM k GROUP BY terminal),\n"
         "goodk AS (SELECT terminal, MAX(id) AS id FROM k WHERE result = 'ok' GROUP BY terminal)\n"
         "SELECT c.terminal, c.id, c.started, c.finished, c.result, c.reason, c.records, c.new_records,\n"
         "       c.announced, g.finished, g.announced,\n"
         "       (SELECT COUNT(*) FROM d f WHERE f.terminal = c.terminal AND f.id > COALESCE(good.id, 0)),\n"
         "       lk.id, lk.started, lk.finished, lk.result, lk.reason, gk.finished\n"
         "FROM d c\n"
         "LEFT JOIN good ON good.terminal = c.terminal\n"
         "LEFT JOIN collections g ON g.id = good.id\n"
         "LEFT JOIN lastk ON lastk.terminal = c.terminal\n"
         "LEFT JOIN collections lk ON lk.id = lastk.id\n"
         "LEFT JOIN goodk ON goodk.terminal = c.terminal\n"
         "LEFT JOIN collections gk ON gk.id = goodk.id\n"
         "WHERE c.id = (SELECT MAX(l.id) FROM d l WHERE l.terminal = c.terminal)\n"
         "ORDER BY c.terminal";
}

Attempt::Result resultOf(const std::string& text) {
  return text == "ok" ? Attempt::Result::Ok
         : text == "interrupted" ? Attempt::Result::Interrupted
                                 : Attempt::Result::Failed;
}

const char* resultText(Attempt::Result result) {
  switch (result) {
    case Attempt::Result::Ok: return "ok";
    case Attempt::Result::Failed: return "failed";
    case Attempt::Result::Interrupted: return "interrupted";
  }
  return "failed";
}

const char* kindText(Attempt::Kind kind) { return kind == Attempt::Kind::Clock ? "clock" : "download"; }

std::string insertFacts(std::size_t rows) {
  std::string sql = "INSERT INTO attendance (terminal, person, time, machine, collected, source, seq) VALUES ";
  for (std::size_t row = 0; row < rows; ++row) {
    sql += row ? ", (" : "(";
    for (std::size_t column = 1; column <= kInsertColumns; ++column) {
      sql += (column > 1 ? ", $" : "$") + std::to_string(row * kInsertColumns + column);
    }
    sql += ")";
  }
  return sql + " ON CONFLICT DO NOTHING";
}

std::string selectFacts(bool numbered) {
  const std::string seq = numbered ? "seq" : "CAST(0 AS BIGINT)";
  return "SELECT terminal, person, time, machine, collected, " + seq + " FROM attendance "
         "WHERE (CAST($1 AS TEXT) IS NULL OR time >= $1) AND (CAST($2 AS TEXT) IS NULL OR time <= $2) "
         "AND (CAST($3 AS INTEGER) IS NULL OR person = $3) "
         "AND (CAST($4 AS TEXT) IS NULL OR terminal = $4) "
         "AND (CAST($5 AS BIGINT) IS NULL OR " + seq + " > $5) "
         "ORDER BY time, terminal, person, machine";
}

std::string unreadable(const SchemaFound& found, const std::string& where) {
  if (found.facts) return "";
  return "no record store in " + where + " (empty, or another program's database; `movar store init` makes one)";
}

std::string noCollectionLog(const std::string& where) {
  return "the store " + where + " has no collection log yet: it was made before attempts were logged, "
         "and its next collection starts one";
}

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

std::optional<std::int64_t> utcSeconds(const std::string& text) {
  std::tm t{};
  char end = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                  &t.tm_min, &t.tm_sec, &end) != 6) {
    return std::nullopt;
  }
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return static_cast<std::int64_t>(::timegm(&t));
}

std::unique_ptr<Store> openStore(const std::string& location, Access access) {
  const Location read = readLocation(location);
  if (!read.problem.empty()) throw StoreError(StoreError::Kind::Location, read.problem);
  return read.kind == Location::Kind::Postgres ? openPostgresStore(location, access)
                                               : openSqliteStore(location, access);
}

// A time's first ten characters are its day; the index on seq finds what came since.
const char* const kTallyDays =
    "SELECT substr(time, 1, 10) AS day, terminal, COUNT(*), MAX(seq) FROM attendance WHERE seq > $1 "
    "GROUP BY day, terminal ORDER BY day, terminal";

}  // namespace movar::store
