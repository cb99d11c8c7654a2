// The store in a SQLite file. WAL, so that `records` reads while a collector writes; writes of
// many threads (collect --jobs) share transactions on one connection, those of other processes
// wait for the file's lock.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
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

class SqliteStore final : public Store {
 public:
  SqliteStore(const std::string& path, bool create) : path_(path) {
    std::error_code ignored;
    const bool existed = std::filesystem::exists(path, ignored);
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(
        path.c_str(), &raw, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX,
        nullptr);
    db_.reset(raw);
    if (opened != SQLITE_OK) fail("cannot open the store");
    sqlite3_busy_timeout(db_.get(), kLockWaitMs);
    // A commit is on the disk when it returns: a terminal's erase waits for it.
    exec("PRAGMA synchronous=FULL");
    exec("PRAGMA cache_size=-131072");
    makeSchemaOnce();
    // SQLite syncs the folder for the journals it makes, not for the database file itself.
    if (!existed) syncFolder();
  }

  void proveWritable() override {
    std::lock_guard lock(mutex_);
    exec("BEGIN IMMEDIATE");
    std::string why;
    try {
      const Fact probe = probeFact();
      Statement insert = prepare(insertFacts(1).c_str());
      bindText(insert, 1, probe.terminal);
      sqlite3_bind_int(insert.get(), 2, probe.person);
      bindText(insert, 3, probe.time);
      sqlite3_bind_int(insert.get(), 4, probe.machine);
      bindText(insert, 5, "");
      bindText(insert, 6, "probe");
      if (sqlite3_step(insert.get()) != SQLITE_DONE) why = sqlite3_errmsg(db_.get());
    } catch (const StoreError& e) {
      why = e.what();
    }
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    if (!why.empty()) throw StoreError("cannot write to the store " + path_ + ": " + why);
  }

  // Whoever finds no write under way writes every download queued so far in one transaction:
  // each is still whole or absent, and a crowd of collect jobs shares one commit instead of
  // rewriting the same index pages once per download.
  std::size_t write(const std::vector<Fact>& facts, const std::string& source) override {
    Pending mine;
    mine.facts = &facts;
    mine.source = &source;
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

  std::vector<StoredFact> query(const Query& q) override {
    std::lock_guard lock(mutex_);
    Statement select = prepare(kSelectFacts);
    const QueryBounds bounds = boundsOf(q);
    const auto bindOptional = [&](int index, const std::optional<std::string>& value) {
      if (value) bindText(select, index, *value);
    };
    bindOptional(1, bounds.from);
    bindOptional(2, bounds.to);
    if (q.person) sqlite3_bind_int(select.get(), 3, *q.person);
    bindOptional(4, q.terminal);
    std::vector<StoredFact> out;
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
      out.push_back({{column(select, 0), sqlite3_column_int(select.get(), 1), column(select, 2),
                      sqlite3_column_int(select.get(), 3)},
                     column(select, 4)});
    }
    if (step != SQLITE_DONE) fail("cannot read the store");
    return out;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw StoreError(what + " " + path_ + ": " +
                     (db_ ? sqlite3_errmsg(db_.get()) : "out of memory"));
  }
  struct Pending {
    const std::vector<Fact>* facts = nullptr;
    const std::string* source = nullptr;
    std::size_t added = 0;
    bool done = false;
    std::exception_ptr failed;
  };

  void writeBatch(const std::vector<Pending*>& batch) {
    std::lock_guard lock(mutex_);
    const std::string collected = utcNow();
    exec("BEGIN IMMEDIATE");
    try {
      Statement insert = prepare(insertFacts(1).c_str());
      for (Pending* p : batch) {
        p->added = 0;
        for (const Fact& f : *p->facts) {
          bindText(insert, 1, f.terminal);
          sqlite3_bind_int(insert.get(), 2, f.person);
          bindText(insert, 3, f.time);
          sqlite3_bind_int(insert.get(), 4, f.machine);
          bindText(insert, 5, collected);
          bindText(insert, 6, *p->source);
          if (sqlite3_step(insert.get()) != SQLITE_DONE) fail("cannot store a record");
          p->added += static_cast<std::size_t>(sqlite3_changes(db_.get()));
          sqlite3_reset(insert.get());
        }
      }
      exec("COMMIT");
    } catch (...) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  void syncFolder() const {
    const std::filesystem::path folder = std::filesystem::absolute(path_).parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
      if (fd >= 0) ::close(fd);
      throw StoreError("cannot sync the folder of the store " + path_);
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
      const Attempt attempt = tryMakeSchema();
      if (attempt.code == SQLITE_OK) return;
      const int primary = attempt.code & 0xff;
      if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || std::chrono::steady_clock::now() > until) {
        throw StoreError("cannot use the store " + path_ + ": " + attempt.why);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  struct Attempt {
    int code = SQLITE_OK;
    std::string why;
  };
  Attempt tryMakeSchema() {
    const auto failed = [&](int code) { return Attempt{code, sqlite3_errmsg(db_.get())}; };
    {
      sqlite3_stmt* raw = nullptr;
      const int prepared = sqlite3_prepare_v2(
          db_.get(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'attendance'", -1, &raw, nullptr);
      const Statement found(raw);
      if (prepared != SQLITE_OK) return failed(prepared);
      const int step = sqlite3_step(found.get());
      if (step == SQLITE_ROW) return {};
      if (step != SQLITE_DONE) return failed(step);
    }
    for (const char* sql : {"PRAGMA journal_mode=WAL", "BEGIN IMMEDIATE"}) {
      if (const int code = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr); code != SQLITE_OK) return failed(code);
    }
    int code = sqlite3_exec(db_.get(), kSchema, nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) return {};
    Attempt attempt = failed(code);
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return attempt;
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
  Database db_;
  std::mutex mutex_;  // the connection
  std::mutex queueMutex_;
  std::condition_variable written_;
  std::vector<Pending*> queue_;
  bool writing_ = false;
};

}  // namespace

std::unique_ptr<Store> openSqliteStore(const std::string& path, bool create) {
  return std::make_unique<SqliteStore>(path, create);
}

}  // namespace movar::store
