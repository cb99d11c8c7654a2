// The store in a SQLite file. WAL, so that `records` reads while a collector writes; writes of
// many threads (collect --jobs) share transactions on one connection, those of other processes
// wait for the file's lock.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <thread>
#include <exception>
#include <filesystem>
#include <mutex>
#include <vector>

#include "store/sql.h"
#include "store/store.h"

namespace movar::store {

namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

constexpr int kLockWaitMs = 60000;

using Kind = StoreError::Kind;

Kind kindOf(int code, int systemError) {
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return Kind::Busy;
    case SQLITE_ERROR:  // a statement the schema does not fit ("no such table")
    case SQLITE_SCHEMA:
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return Kind::Schema;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return Kind::Denied;
    case SQLITE_CANTOPEN:
      return systemError == EACCES || systemError == EPERM || systemError == EROFS ? Kind::Denied
             : systemError == ENOENT                                               ? Kind::NotFound
                                                                                   : Kind::Io;
    default: return Kind::Io;
  }
}

class SqliteStore final : public Store {
 public:
  SqliteStore(const std::string& path, Access access) : path_(path), reading_(access == Access::Read) {
    std::error_code ignored;
    const bool existed = std::filesystem::exists(path, ignored);
    if (!existed) {
      const std::filesystem::path folder = std::filesystem::absolute(path, ignored).parent_path();
      if (!std::filesystem::exists(folder, ignored)) {
        throw StoreError(Kind::NotFound, "folder " + folder.string() + " does not exist (for the store " + path + ")");
      }
      if (reading_) throw StoreError(Kind::NotFound, "no such store: " + path);
    }
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(
        path.c_str(), &raw,
        (reading_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX,
        nullptr);
    db_.reset(raw);
    if (opened != SQLITE_OK) fail("cannot open the store");
    sqlite3_busy_timeout(db_.get(), kLockWaitMs);
    exec("PRAGMA cache_size=-131072");
    if (reading_) {
      found_ = readSchema();
      if (const std::string why = unreadable(found_, path_); !why.empty()) throw StoreError(Kind::Schema, why);
      return;
    }
    // A commit is on the disk when it returns: a terminal's erase waits for it.
    exec("PRAGMA synchronous=FULL");
    // The -wal and -shm files outlive the last writer (the WAL emptied), so that a reader who
    // may not write the folder can still open the store: SQLite needs them there to read it.
    int keep = 1;
    sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    exec("PRAGMA journal_size_limit=4194304");
    makeSchemaOnce();
    // SQLite syncs the folder for the journals it makes, not for the database file itself.
    if (!existed) syncFolder();
  }

  void proveWritable() override {
    refuseWhenReading();
    std::lock_guard lock(mutex_);
    exec("BEGIN IMMEDIATE");
    std::string why;
    Kind kind = Kind::Io;
    try {
      const Fact probe = probeFact();
      Statement insert = prepare(insertFacts(1).c_str());
      bindText(insert, 1, probe.terminal);
      sqlite3_bind_int(insert.get(), 2, probe.person);
      bindText(insert, 3, probe.time);
      sqlite3_bind_int(insert.get(), 4, probe.machine);
      bindText(insert, 5, "");
      bindText(insert, 6, "probe");
      sqlite3_bind_int64(insert.get(), 7, -1);
      if (sqlite3_step(insert.get()) != SQLITE_DONE) {
        why = sqlite3_errmsg(db_.get());
        kind = kindOf(sqlite3_extended_errcode(db_.get()), sqlite3_system_errno(db_.get()));
      }
    } catch (const StoreError& e) {
      why = e.what();
      kind = e.kind();
    }
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    if (!why.empty()) throw StoreError(kind, "cannot write to the store " + path_ + ": " + why);
  }

  // Whoever finds no write under way writes every download queued so far in one transaction:
  // each is still whole or absent, and a crowd of collect jobs shares one commit instead of
  // rewriting the same index pages once per download.
  std::size_t write(const std::vector<Fact>& facts, const std::string& source,
                    Attempt* attempt) override {
    Pending mine;
    mine.facts = &facts;
    mine.source = &source;
    mine.attempt = attempt;
    std::unique_lock lock(queueMutex_);
    queue_.push_back(&mine);
    while (!mine.done) {
      if (writing_) {
        written_.wait(lock);
        continue;
      }
      writing_ = true;
      std::vector<Pending*> batch;
      batch.swap(queue_);
      lock.unlock();
      std::exception_ptr failed;
      try {
        writeBatch(batch);
      } catch (...) {
        failed = std::current_exception();
      }
      lock.lock();
      writing_ = false;
      for (Pending* p : batch) {
        p->failed = failed;
        p->done = true;
      }
      written_.notify_all();
    }
    if (mine.failed) std::rethrow_exception(mine.failed);
    return mine.added;
  }

  void amend(const Attempt& attempt) override {
    refuseWhenReading();
    std::lock_guard lock(mutex_);
    Statement update = prepare(kUpdateAttempt);
    bindAttempt(update, 1, attempt);
    sqlite3_bind_int64(update.get(), 7, attempt.id);
    if (sqlite3_step(update.get()) != SQLITE_DONE) fail("cannot log an attempt in");
  }

  // A cursor: a million facts cost one fact's memory.
  void forEach(const Query& q, const std::function<bool(const StoredFact&)>& each) override {
    std::lock_guard lock(mutex_);
    Statement select = prepare(selectFacts(found_.numbered).c_str());
    const QueryBounds bounds = boundsOf(q);
    const auto bindOptional = [&](int index, const std::optional<std::string>& value) {
      if (value) bindText(select, index, *value);
    };
    bindOptional(1, bounds.from);
    bindOptional(2, bounds.to);
    if (q.person) sqlite3_bind_int(select.get(), 3, *q.person);
    bindOptional(4, q.terminal);
    if (q.after) sqlite3_bind_int64(select.get(), 5, *q.after);
    StoredFact fact;
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
      fact.fact = {column(select, 0), sqlite3_column_int(select.get(), 1), column(select, 2),
                   sqlite3_column_int(select.get(), 3)};
      fact.collected = column(select, 4);
      fact.seq = sqlite3_column_int64(select.get(), 5);
      if (!each(fact)) return;
    }
    if (step != SQLITE_DONE) fail("cannot read the store");
  }

  DayTally tallyDays(std::int64_t after) override {
    std::lock_guard lock(mutex_);
    Statement select = prepare(kTallyDays);
    sqlite3_bind_int64(select.get(), 1, after);
    DayTally tally;
    tally.last = after;
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
      tally.counts.push_back({column(select, 0), column(select, 1), sqlite3_column_int64(select.get(), 2)});
      tally.last = std::max(tally.last, static_cast<std::int64_t>(sqlite3_column_int64(select.get(), 3)));
    }
    if (step != SQLITE_DONE) fail("cannot read the store");
    return tally;
  }

  std::vector<TerminalStatus> terminals() override {
    if (!found_.logged) throw StoreError(Kind::Schema, noCollectionLog(path_));
    std::lock_guard lock(mutex_);
    Statement select = prepare(selectTerminals(found_.kinded).c_str());
    std::vector<TerminalStatus> out;
    const auto optionalText = [&](int at) {
      return sqlite3_column_type(select.get(), at) == SQLITE_NULL ? std::nullopt : std::optional(column(select, at));
    };
    const auto optionalNumber = [&](int at) {
      return sqlite3_column_type(select.get(), at) == SQLITE_NULL
                 ? std::nullopt
                 : std::optional<std::int64_t>(sqlite3_column_int64(select.get(), at));
    };
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
      TerminalStatus t;
      t.terminal = column(select, 0);
      Attempt& a = t.last;
      a.terminal = t.terminal;
      a.id = sqlite3_column_int64(select.get(), 1);
      a.started = column(select, 2);
      a.finished = column(select, 3);
      a.result = resultOf(column(select, 4));
      a.reason = column(select, 5);
      a.records = sqlite3_column_int64(select.get(), 6);
      a.added = sqlite3_column_int64(select.get(), 7);
      a.announced = optionalNumber(8);
      t.lastSuccess = optionalText(9);
      t.recordsAtLastSuccess = optionalNumber(10);
      t.failedInARow = sqlite3_column_int64(select.get(), 11);
      if (sqlite3_column_type(select.get(), 12) != SQLITE_NULL) {
        Attempt& k = t.lastClock.emplace();
        k.kind = Attempt::Kind::Clock;
        k.terminal = t.terminal;
        k.id = sqlite3_column_int64(select.get(), 12);
        k.started = column(select, 13);
        k.finished = column(select, 14);
        k.result = resultOf(column(select, 15));
        k.reason = column(select, 16);
      }
      t.lastClockSet = optionalText(17);
      out.push_back(std::move(t));
    }
    if (step != SQLITE_DONE) fail("cannot read the store");
    return out;
  }

  Dialect dialect() const override {
    return {"CAST(strftime('%s', 'now') AS BIGINT)", "", "SELECT value FROM json_each(", ")"};
  }

  std::vector<Row> exchange(const std::string& sql, const Row& parameters) override {
    std::lock_guard lock(mutex_);
    Statement statement = prepare(sql.c_str());
    if (reading_ && !sqlite3_stmt_readonly(statement.get())) refuseWhenReading();
    for (std::size_t i = 0; i < parameters.size(); ++i) {
      if (parameters[i]) bindText(statement, static_cast<int>(i) + 1, *parameters[i]);
    }
    std::vector<Row> rows;
    int step;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
      Row row;
      for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
        row.push_back(sqlite3_column_type(statement.get(), c) == SQLITE_NULL ? std::nullopt
                                                                             : std::optional(column(statement, c)));
      }
      rows.push_back(std::move(row));
    }
    if (step != SQLITE_DONE) fail("cannot use the store");
    return rows;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    if (!db_) throw StoreError(Kind::Io, what + " " + path_ + ": out of memory");
    const int code = sqlite3_extended_errcode(db_.get());
    const int systemError = sqlite3_system_errno(db_.get());
    if (reading_ && walFilesOutOfReach()) {
      throw StoreError(Kind::Denied, what + " " + path_ + ": its -wal and -shm files are missing and this "
                       "user may not make them in its folder; a writer of this version leaves them there "
                       "(`movar store init` as the store's owner)");
    }
    // SQLite says "unable to open database file" whatever the cause.
    const std::string why = (code & 0xff) == SQLITE_CANTOPEN && systemError ? std::strerror(systemError)
                                                                           : sqlite3_errmsg(db_.get());
    throw StoreError(kindOf(code, systemError), what + " " + path_ + ": " + why);
  }
  // A store in WAL mode needs its -shm file beside it, which a reader who may not write the
  // folder cannot make.
  bool walFilesOutOfReach() const {
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::absolute(path_, ignored).parent_path();
    return !std::filesystem::exists(path_ + "-shm", ignored) && ::access(folder.c_str(), W_OK) != 0;
  }
  void refuseWhenReading() const {
    if (reading_) throw StoreError(Kind::Denied, "the store " + path_ + " was opened for reading");
  }
  SchemaFound readSchema() {
    Statement probe = prepare(
        "SELECT EXISTS (SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'attendance'), "
        "EXISTS (SELECT 1 FROM pragma_table_info('attendance') WHERE name = 'seq'), "
        "EXISTS (SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'collections'), "
        "EXISTS (SELECT 1 FROM pragma_table_info('collections') WHERE name = 'kind')");
    if (sqlite3_step(probe.get()) != SQLITE_ROW) fail("cannot read the store");
    const auto yes = [&](int column) { return sqlite3_column_int(probe.get(), column) != 0; };
    return {yes(0), yes(1), yes(2), yes(3)};
  }
  struct Pending {
    const std::vector<Fact>* facts = nullptr;
    const std::string* source = nullptr;
    Attempt* attempt = nullptr;
    std::size_t added = 0;
    bool done = false;
    std::exception_ptr failed;
  };

  void writeBatch(const std::vector<Pending*>& batch) {
    refuseWhenReading();
    std::lock_guard lock(mutex_);
    const std::string collected = utcNow();
    exec("BEGIN IMMEDIATE");
    try {
      std::int64_t last = readSequence();
      Statement insert = prepare(insertFacts(1).c_str());
      for (Pending* p : batch) {
        p->added = 0;
        if (p->attempt) p->attempt->id = ++last;
        for (const Fact& f : *p->facts) {
          bindText(insert, 1, f.terminal);
          sqlite3_bind_int(insert.get(), 2, f.person);
          bindText(insert, 3, f.time);
          sqlite3_bind_int(insert.get(), 4, f.machine);
          bindText(insert, 5, collected);
          bindText(insert, 6, *p->source);
          sqlite3_bind_int64(insert.get(), 7, ++last);
          if (sqlite3_step(insert.get()) != SQLITE_DONE) fail("cannot store a record");
          p->added += static_cast<std::size_t>(sqlite3_changes(db_.get()));
          sqlite3_reset(insert.get());
        }
        if (p->attempt) insertAttempt(*p->attempt, p->added);
      }
      Statement advance = prepare(kAdvanceSequence);
      sqlite3_bind_int64(advance.get(), 1, last);
      if (sqlite3_step(advance.get()) != SQLITE_DONE) fail("cannot store a record");
      exec("COMMIT");
    } catch (...) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      for (Pending* p : batch) {
        if (p->attempt) p->attempt->id = 0;
      }
      throw;
    }
  }

  std::int64_t readSequence() {
    Statement read = prepare(kReadSequence);
    if (sqlite3_step(read.get()) != SQLITE_ROW) fail("cannot number the records in");
    return sqlite3_column_int64(read.get(), 0);
  }

  void insertAttempt(Attempt& attempt, std::size_t added) {
    attempt.added = static_cast<std::int64_t>(added);
    Statement row = prepare(kInsertAttempt);
    sqlite3_bind_int64(row.get(), 1, attempt.id);
    bindText(row, 2, attempt.terminal);
    bindText(row, 3, attempt.started);
    bindAttempt(row, 4, attempt);
    bindText(row, 10, kindText(attempt.kind));
    if (sqlite3_step(row.get()) != SQLITE_DONE) fail("cannot log an attempt in");
  }

  // finished, result, reason, records, new, announced from `at` on.
  static void bindAttempt(Statement& s, int at, const Attempt& a) {
    bindText(s, at, a.finished);
    bindText(s, at + 1, resultText(a.result));
    bindText(s, at + 2, a.reason);
    sqlite3_bind_int64(s.get(), at + 3, a.records);
    sqlite3_bind_int64(s.get(), at + 4, a.added);
    if (a.announced) sqlite3_bind_int64(s.get(), at + 5, *a.announced);
  }

  void syncFolder() const {
    const std::filesystem::path folder = std::filesystem::absolute(path_).parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
      if (fd >= 0) ::close(fd);
      throw StoreError(Kind::Io, "cannot sync the folder of the store " + path_);
    }
    ::close(fd);
  }

  // Made once, by whoever comes first: a reader of a store in use takes no write lock. Writers
  // opening a new file together meet locks SQLite answers at once instead of waiting for (the
  // switch to WAL, a read turning into a write); those are waited for here, within the bound of
  // any other lock.
  void makeSchemaOnce() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    for (;;) {
      const SchemaAttempt attempt = tryMakeSchema();
      if (attempt.code == SQLITE_OK) return;
      const int primary = attempt.code & 0xff;
      if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || std::chrono::steady_clock::now() > until) {
        throw StoreError(kindOf(attempt.code, 0), "cannot use the store " + path_ + ": " + attempt.why);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  struct SchemaAttempt {
    int code = SQLITE_OK;
    std::string why;
  };
  SchemaAttempt tryMakeSchema() {
    const auto failed = [&](int code) { return SchemaAttempt{code, sqlite3_errmsg(db_.get())}; };
    {
      sqlite3_stmt* raw = nullptr;
      const int prepared = sqlite3_prepare_v2(
          db_.get(), "SELECT COUNT(*) = 2 FROM sqlite_master WHERE name IN ('terminals', 'attendance_in_time_order')",
          -1, &raw, nullptr);
      const Statement found(raw);
      if (prepared != SQLITE_OK) return failed(prepared);
      const int step = sqlite3_step(found.get());
      if (step != SQLITE_ROW) return failed(step);
      if (sqlite3_column_int(found.get(), 0) == 1 && !lacksKind()) return {};
    }
    for (const char* sql : {"PRAGMA journal_mode=WAL", "BEGIN IMMEDIATE"}) {
      if (const int code = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr); code != SQLITE_OK) return failed(code);
    }
    int code = SQLITE_OK;
    if (lacksSequence()) code = sqlite3_exec(db_.get(), kAddSequence, nullptr, nullptr, nullptr);
    if (code == SQLITE_OK && lacksKind()) code = sqlite3_exec(db_.get(), kAddKind, nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db_.get(), kSchema, nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) return {};
    SchemaAttempt attempt = failed(code);
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return attempt;
  }
  // A store made before facts had numbers (its attendance table has no seq).
  bool lacksSequence() { return lacksColumn("SELECT seq FROM attendance LIMIT 0"); }
  // A store made before clock settings were logged (its collections table has no kind).
  bool lacksKind() { return lacksColumn("SELECT kind FROM collections LIMIT 0"); }
  // The table is there and the column is not (a missing table is made whole by the schema).
  bool lacksColumn(const char* probeSql) {
    sqlite3_stmt* raw = nullptr;
    const int prepared = sqlite3_prepare_v2(db_.get(), probeSql, -1, &raw, nullptr);
    const Statement probe(raw);
    if (prepared == SQLITE_OK) return false;
    return std::string(sqlite3_errmsg(db_.get())).find("no such column") != std::string::npos;
  }
  void exec(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail("cannot use the store");
  }
  Statement prepare(const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr) != SQLITE_OK) fail("cannot use the store");
    return Statement(raw);
  }
  static void bindText(Statement& s, int index, const std::string& text) {
    sqlite3_bind_text(s.get(), index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  static std::string column(Statement& s, int index) {
    const auto* text = sqlite3_column_text(s.get(), index);
    return text ? reinterpret_cast<const char*>(text) : "";
  }

  std::string path_;
  bool reading_;
  SchemaFound found_{true, true, true, true};  // what a writer leaves after opening
  Database db_;
  std::mutex mutex_;  // the connection
  std::mutex queueMutex_;
  std::condition_variable written_;
  std::vector<Pending*> queue_;
  bool writing_ = false;
};

}  // namespace

std::unique_ptr<Store> openSqliteStore(const std::string& path, Access access) {
  return std::make_unique<SqliteStore>(path, access);
}

}  // namespace movar::store
