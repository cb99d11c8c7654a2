// The store on a PostgreSQL server, where the collectors of many sites meet. The unique key keeps
// a fact once, so collectors writing the same facts at once need no other agreement. Writes of
// many threads (collect --jobs) take turns on one connection.
#include <libpq-fe.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "store/location.h"
#include "store/sql.h"
#include "store/store.h"

namespace movar::store {

namespace {

struct FinishConnection {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ClearResult {
  void operator()(PGresult* result) const { PQclear(result); }
};
struct FreeOptions {
  void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};
using Connection = std::unique_ptr<PGconn, FinishConnection>;
using Result = std::unique_ptr<PGresult, ClearResult>;
using Options = std::unique_ptr<PQconninfoOption, FreeOptions>;
using Parameters = std::vector<std::optional<std::string>>;

// CREATE ... IF NOT EXISTS is not safe against itself: collectors making the schema at the same
// moment take turns on this lock (a constant of this program), held to the end of the transaction.
const char* const kSchemaLock = "SELECT pg_advisory_xact_lock(4627300912511)";
const char* const kByteOrder = R"(CREATE COLLATION IF NOT EXISTS "binary" FROM "C")";

Options optionsOf(const std::string& connection) {
  char* error = nullptr;
  Options options(PQconninfoParse(connection.c_str(), &error));
  PQfreemem(error);
  return options;
}

// The connection's settings for messages, without the password.
std::string describe(const std::string& connection) {
  const Options options = optionsOf(connection);
  if (!options) return "PostgreSQL (an unreadable connection string)";
  std::string text = "PostgreSQL";
  for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
    if (o->val && *o->val && std::string_view(o->keyword) != "password") {
      text += std::string(" ") + o->keyword + "=" + o->val;
    }
  }
  return text;
}

// One round trip for a download of this many facts; well under the server's 65535 parameters.
constexpr std::size_t kFactsAStatement = 1000;

// Bounded waits where the connection string says nothing: a server that does not answer, or a
// network that silently dropped the connection, becomes an error instead of a hang.
const char* const kDefaultKeywords[] = {"connect_timeout",    "keepalives_idle", "keepalives_interval",
                                        "keepalives_count",   "tcp_user_timeout", "dbname", nullptr};
// A write that waits on a session which never ends its transaction fails instead of hanging.
// Set in the transaction rather than at connection: poolers refuse start-up options.
const char* const kBegin = "BEGIN; SET LOCAL lock_timeout = '60s'";

using Kind = StoreError::Kind;

// What the server's SQLSTATE says about a failed statement.
Kind kindOf(const PGresult* result) {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const std::string_view code = state ? state : "";
  if (code == "40P01" || code == "55P03" || code == "40001") return Kind::Busy;
  if (code == "42501" || code == "25006" || code.starts_with("28")) return Kind::Denied;
  if (code == "3D000" || code == "3F000") return Kind::NotFound;
  if (code.starts_with("42")) return Kind::Schema;
  if (code.starts_with("08") || code.starts_with("57P")) return Kind::Unreachable;
  return Kind::Io;
}

class PostgresStore final : public Store {
 public:
  PostgresStore(const std::string& connection, Access access)
      : connectionText_(connection), where_(describe(connection)), reading_(access == Access::Read) {
    const char* const values[] = {"10", "30", "10", "3", "30000", connection.c_str(), nullptr};
    connection_.reset(PQconnectdbParams(kDefaultKeywords, values, 1));
    if (!connection_ || PQstatus(connection_.get()) != CONNECTION_OK) unreachable();
    // The server's notices ("already exists, skipping") are not for the user.
    PQsetNoticeProcessor(connection_.get(), [](void*, const char*) {}, nullptr);
    if (reading_) {
      readOnly();
      found_ = readSchema();
      if (const std::string why = unreadable(found_, where_); !why.empty()) throw StoreError(Kind::Schema, why);
      return;
    }
    inTransaction([&] {
      run(kSchemaLock);
      run(kByteOrder);
      if (lacksSequence()) run(kAddSequence);
      if (lacksKind()) run(kAddKind);
      run(kSchema);
    });
  }

  std::size_t write(const std::vector<Fact>& unordered, const std::string& source,
                    Attempt* attempt) override {
    // Every writer takes its facts' keys in one order: writers over the same facts then wait for
    // each other instead of deadlocking (the server would end one of them).
    std::vector<Fact> facts = unordered;
    std::sort(facts.begin(), facts.end(), [](const Fact& a, const Fact& b) {
      return std::tie(a.terminal, a.person, a.time, a.machine) < std::tie(b.terminal, b.person, b.time, b.machine);
    });
    std::lock_guard lock(mutex_);
    const std::string collected = utcNow();
    std::size_t added = 0;
    try {
      inTransaction([&] {
        added = 0;
        std::int64_t last = readSequence();
        if (attempt) attempt->id = ++last;
        for (std::size_t at = 0; at < facts.size(); at += kFactsAStatement) {
          const std::size_t rows = std::min(kFactsAStatement, facts.size() - at);
          Parameters parameters;
          parameters.reserve(rows * kInsertColumns);
          for (std::size_t i = at; i < at + rows; ++i) {
            const Fact& f = facts[i];
            for (std::string value : {f.terminal, std::to_string(f.person), f.time, std::to_string(f.machine),
                                      collected, source, std::to_string(++last)}) {
              parameters.push_back(std::move(value));
            }
          }
          const Result inserted = run(insertFacts(rows).c_str(), parameters);
          added += std::stoul(PQcmdTuples(inserted.get()));
        }
        if (attempt) {
          attempt->added = static_cast<std::int64_t>(added);
          Parameters row{std::to_string(attempt->id), attempt->terminal, attempt->started};
          addAttemptEnd(row, *attempt);
          row.push_back(std::string(kindText(attempt->kind)));
          run(kInsertAttempt, row);
        }
        run(kAdvanceSequence, {std::to_string(last)});
      });
    } catch (...) {
      if (attempt) attempt->id = 0;
      throw;
    }
    return added;
  }

  void amend(const Attempt& attempt) override {
    std::lock_guard lock(mutex_);
    Parameters row;
    addAttemptEnd(row, attempt);
    row.push_back(std::to_string(attempt.id));
    inTransaction([&] { run(kUpdateAttempt, row); });
  }

  void proveWritable() override {
    std::lock_guard lock(mutex_);
    const Fact probe = probeFact();
    first(kBegin, {});
    try {
      run(insertFacts(1).c_str(), {probe.terminal, std::to_string(probe.person), probe.time,
                                   std::to_string(probe.machine), std::string(), std::string("probe"),
                                   std::string("-1")});
    } catch (...) {
      Result(PQexec(connection_.get(), "ROLLBACK"));
      throw;
    }
    run("ROLLBACK");
  }

  DayTally tallyDays(std::int64_t after) override {
    std::lock_guard lock(mutex_);
    const Result rows = first(kTallyDays, {std::to_string(after)});
    DayTally tally;
    tally.last = after;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      tally.counts.push_back({PQgetvalue(rows.get(), row, 0), PQgetvalue(rows.get(), row, 1),
                              std::stoll(PQgetvalue(rows.get(), row, 2))});
      tally.last = std::max(tally.last, static_cast<std::int64_t>(std::stoll(PQgetvalue(rows.get(), row, 3))));
    }
    return tally;
  }

  // A cursor read a batch at a time: a million facts cost a batch's memory. Its transaction
  // sees one snapshot, so a walk never takes in half of a download that commits meanwhile.
  void forEach(const Query& q, const std::function<bool(const StoredFact&)>& each) override {
    constexpr int kBatch = 10000;
    std::lock_guard lock(mutex_);
    const QueryBounds bounds = boundsOf(q);
    first(kBegin, {});
    try {
      run(("DECLARE walk NO SCROLL CURSOR FOR " + selectFacts(found_.numbered)).c_str(),
          {bounds.from, bounds.to, q.person ? std::optional(std::to_string(*q.person)) : std::nullopt, q.terminal,
           q.after ? std::optional(std::to_string(*q.after)) : std::nullopt});
      const std::string fetch = "FETCH FORWARD " + std::to_string(kBatch) + " FROM walk";
      StoredFact fact;
      for (int count = kBatch; count == kBatch;) {
        const Result rows = run(fetch.c_str());
        count = PQntuples(rows.get());
        const auto text = [&](int row, int column) { return std::string(PQgetvalue(rows.get(), row, column)); };
        for (int row = 0; row < count; ++row) {
          fact.fact = {text(row, 0), std::stoi(text(row, 1)), text(row, 2), std::stoi(text(row, 3))};
          fact.collected = text(row, 4);
          fact.seq = std::stoll(text(row, 5));
          if (!each(fact)) {
            count = 0;
            break;
          }
        }
      }
      run("COMMIT");
    } catch (...) {
      Result(PQexec(connection_.get(), "ROLLBACK"));
      throw;
    }
  }

  std::vector<TerminalStatus> terminals() override {
    if (!found_.logged) throw StoreError(Kind::Schema, noCollectionLog(where_));
    std::lock_guard lock(mutex_);
    const Result rows = first(selectTerminals(found_.kinded).c_str(), {});
    std::vector<TerminalStatus> out;
    const auto text = [&](int row, int column) { return std::string(PQgetvalue(rows.get(), row, column)); };
    const auto number = [&](int row, int column) {
      return PQgetisnull(rows.get(), row, column) ? std::nullopt
                                                  : std::optional<std::int64_t>(std::stoll(text(row, column)));
    };
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      TerminalStatus t;
      t.terminal = text(row, 0);
      Attempt& a = t.last;
      a.terminal = t.terminal;
      a.id = std::stoll(text(row, 1));
      a.started = text(row, 2);
      a.finished = text(row, 3);
      a.result = resultOf(text(row, 4));
      a.reason = text(row, 5);
      a.records = std::stoll(text(row, 6));
      a.added = std::stoll(text(row, 7));
      a.announced = number(row, 8);
      if (!PQgetisnull(rows.get(), row, 9)) t.lastSuccess = text(row, 9);
      t.recordsAtLastSuccess = number(row, 10);
      t.failedInARow = std::stoll(text(row, 11));
      if (!PQgetisnull(rows.get(), row, 12)) {
        Attempt& k = t.lastClock.emplace();
        k.kind = Attempt::Kind::Clock;
        k.terminal = t.terminal;
        k.id = std::stoll(text(row, 12));
        k.started = text(row, 13);
        k.finished = text(row, 14);
        k.result = resultOf(text(row, 15));
        k.reason = text(row, 16);
      }
      if (!PQgetisnull(rows.get(), row, 17)) t.lastClockSet = text(row, 17);
      out.push_back(std::move(t));
    }
    return out;
  }

  Dialect dialect() const override {
    return {"CAST(EXTRACT(EPOCH FROM clock_timestamp()) AS BIGINT)", "FOR UPDATE SKIP LOCKED",
            "SELECT json_array_elements_text(CAST(", " AS json))"};
  }

  std::vector<Row> exchange(const std::string& sql, const Row& parameters) override {
    std::lock_guard lock(mutex_);
    const Result result = first(sql.c_str(), parameters);
    std::vector<Row> rows;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
      Row row;
      for (int c = 0; c < PQnfields(result.get()); ++c) {
        row.push_back(PQgetisnull(result.get(), r, c) ? std::nullopt : std::optional<std::string>(PQgetvalue(result.get(), r, c)));
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

 private:
  // The counter's row, locked to the end of the transaction: writers take turns here, so
  // numbers are given in the order the transactions commit.
  std::int64_t readSequence() {
    const Result read = run((std::string(kReadSequence) + " FOR UPDATE").c_str());
    if (PQntuples(read.get()) != 1) fail("cannot number the records in", Kind::Schema);
    return std::stoll(PQgetvalue(read.get(), 0, 0));
  }

  // finished, result, reason, records, new, announced.
  static void addAttemptEnd(Parameters& row, const Attempt& a) {
    for (std::string value : {a.finished, std::string(resultText(a.result)), a.reason,
                              std::to_string(a.records), std::to_string(a.added)}) {
      row.push_back(std::move(value));
    }
    row.push_back(a.announced ? std::optional(std::to_string(*a.announced)) : std::nullopt);
  }

  // A store made before facts had numbers (its attendance table has no seq).
  bool lacksSequence() { return lacksColumn("attendance", "seq"); }
  // A store made before clock settings were logged (its collections table has no kind).
  bool lacksKind() { return lacksColumn("collections", "kind"); }
  // The table is there and the column is not (a missing table is made whole by the schema).
  bool lacksColumn(const std::string& table, const std::string& column) {
    const Result found = run(
        "SELECT (SELECT 1 FROM information_schema.tables WHERE table_schema = current_schema() AND "
        "table_name = $1) IS NOT NULL AND NOT EXISTS (SELECT 1 FROM information_schema.columns "
        "WHERE table_schema = current_schema() AND table_name = $1 AND column_name = $2)",
        {table, column});
    return std::string(PQgetvalue(found.get(), 0, 0)) == "t";
  }

  // All of `body` or nothing. A failure of any statement, COMMIT included, throws: a write is
  // reported stored only when the server said it committed.
  void inTransaction(const std::function<void()>& body) {
    first(kBegin, {});
    try {
      body();
      run("COMMIT");
    } catch (...) {
      Result(PQexec(connection_.get(), "ROLLBACK"));
      throw;
    }
  }

  // The first statement of a piece of work. A connection that broke since its last use (the
  // server restarted, the network came back) is made again and the statement sent once more;
  // nothing of the work had reached the server yet.
  Result first(const char* sql, const Parameters& parameters) {
    if (PQstatus(connection_.get()) != CONNECTION_OK) reconnect();
    Result result = send(sql, parameters);
    if (!succeeded(result) && PQstatus(connection_.get()) != CONNECTION_OK) {
      reconnect();
      result = send(sql, parameters);
    }
    if (!succeeded(result)) fail("cannot use", kindOf(result.get()));
    return result;
  }

  Result run(const char* sql, const Parameters& parameters = {}) {
    Result result = send(sql, parameters);
    if (!succeeded(result)) fail("cannot use", kindOf(result.get()));
    return result;
  }

  Result send(const char* sql, const Parameters& parameters) {
    // Without parameters the text may hold several statements (the schema).
    if (parameters.empty()) return Result(PQexec(connection_.get(), sql));
    std::vector<const char*> values;
    for (const auto& p : parameters) values.push_back(p ? p->c_str() : nullptr);
    return Result(PQexecParams(connection_.get(), sql, static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
  }

  static bool succeeded(const Result& result) {
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  }

  void reconnect() {
    PQreset(connection_.get());
    if (PQstatus(connection_.get()) != CONNECTION_OK) unreachable();
    if (reading_) readOnly();
  }

  // Every transaction of the session, the connection's made again included: the server itself
  // refuses any write of a reader.
  void readOnly() { run("SET default_transaction_read_only = on"); }

  SchemaFound readSchema() {
    const Result found = run(
        "SELECT to_regclass('attendance') IS NOT NULL, EXISTS (SELECT 1 FROM information_schema.columns "
        "WHERE table_schema = current_schema() AND table_name = 'attendance' AND column_name = 'seq'), "
        "to_regclass('collections') IS NOT NULL, EXISTS (SELECT 1 FROM information_schema.columns "
        "WHERE table_schema = current_schema() AND table_name = 'collections' AND column_name = 'kind')");
    const auto yes = [&](int column) { return std::string_view(PQgetvalue(found.get(), 0, column)) == "t"; };
    return {yes(0), yes(1), yes(2), yes(3)};
  }

  [[noreturn]] void unreachable() const {
    const std::string_view why = connection_ ? PQerrorMessage(connection_.get()) : "";
    fail("cannot reach", why.find("does not exist") != std::string_view::npos ? Kind::NotFound : Kind::Unreachable);
  }

  [[noreturn]] void fail(const std::string& what, Kind kind) const {
    // libpq's messages end in a newline and may hold a hint on a line of its own.
    std::string cause;
    for (const char* c = connection_ ? PQerrorMessage(connection_.get()) : "out of memory"; *c; ++c) {
      if (*c != '\n' && *c != '\t') cause += *c;
      else if (*c == '\n' && c[1]) cause += "; ";
    }
    if (connection_ && PQstatus(connection_.get()) != CONNECTION_OK) kind = Kind::Unreachable;
    throw StoreError(kind, what + " the store " + where_ + ": " + withoutPassword(cause, connectionText_));
  }

  std::string connectionText_;  // for leaving its password out of the server's messages
  std::string where_;
  bool reading_;
  SchemaFound found_{true, true, true, true};  // what a writer leaves after opening
  Connection connection_;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<Store> openPostgresStore(const std::string& connection, Access access) {
  return std::make_unique<PostgresStore>(connection, access);
}

}  // namespace movar::store
