// The record store: every attendance fact that reached the PC, once. A fact is (terminal, person,
// time, machine); the database's unique key keeps it once however often it is downloaded,
// imported or written by collectors at the same time. The record files stay the first copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace movar::store {

struct Fact {
  std::string terminal;  // "10.0.0.5", or "COM1:7" (the search's first port and the address)
  int person = 0;
  std::string time;      // "YYYY-MM-DD HH:MM", as the terminal stamped it
  int machine = 0;
  friend bool operator==(const Fact&, const Fact&) = default;
};

struct StoredFact {
  Fact fact;
  std::string collected;  // "YYYY-MM-DD HH:MM:SS", UTC, when it first reached the store
  // Store-wide, given when the fact first arrived: rising in arrival order, never reused (there
  // may be gaps). A reader that kept the last one it saw asks for what came after it.
  std::int64_t seq = 0;
};

struct Query {
  std::optional<std::string> from, to;  // times, inclusive; a date alone covers its whole day
  std::optional<int> person;
  std::optional<std::string> terminal;
  std::optional<std::int64_t> after;  // only facts whose seq is greater
};

// One attempt to download a terminal, or to set its clock: a row of the collection log.
struct Attempt {
  enum class Result { Ok, Failed, Interrupted };
  enum class Kind { Download, Clock };
  Kind kind = Kind::Download;
  std::string terminal;
  std::string started, finished;  // "YYYY-MM-DD HH:MM:SS", UTC
  Result result = Result::Failed;
  std::string reason;             // the library's words, when it failed
  std::int64_t records = 0;       // downloaded
  std::int64_t added = 0;         // of those, new in the store (set by the write)
  std::optional<std::int64_t> announced;  // the record count the terminal announced
  std::int64_t id = 0;            // the row's, once written
};
const char* resultText(Attempt::Result result);  // "ok", "failed", "interrupted"
const char* kindText(Attempt::Kind kind);        // "download", "clock"

// A terminal as the collection log knows it. Its state is its downloads'; a clock setting that
// failed is told, never counted as a failed download.
struct TerminalStatus {
  std::string terminal;
  Attempt last;                        // its latest download
  std::optional<std::string> lastSuccess;  // when its latest good attempt finished (UTC)
  std::optional<std::int64_t> recordsAtLastSuccess;  // what its memory held then
  std::int64_t failedInARow = 0;       // downloads that did not succeed since then
  std::optional<Attempt> lastClock;    // its latest clock setting
  std::optional<std::string> lastClockSet;  // when its latest good clock setting finished (UTC)
};

// A time the store wrote ("YYYY-MM-DD HH:MM:SS", UTC) in seconds since 1970; nullopt for other text.
std::optional<std::int64_t> utcSeconds(const std::string& text);

// How many facts a terminal holds, stamped on one day.
struct DayCount {
  std::string day;  // "YYYY-MM-DD"
  std::string terminal;
  std::int64_t facts = 0;
  friend bool operator==(const DayCount&, const DayCount&) = default;
};
// The facts per day that arrived after a seq, and the last seq among them: a reader keeps a tally
// and adds what came since, never counting a fact twice or missing one.
struct DayTally {
  std::vector<DayCount> counts;  // by day, then terminal
  std::int64_t last = 0;
};

// What went wrong, for a caller that acts on it (retry when busy, page someone when unreachable);
// what() says it in words.
class StoreError : public std::runtime_error {
 public:
  enum class Kind {
    Unreachable,  // the server does not answer, or the connection broke
    Busy,         // another writer holds the store past the wait
    Schema,       // not a store, or one this program cannot read or bring up to date
    Io,           // the disk or the server failed to do it
    NotFound,     // no such store, file or folder
    Denied,       // no permission, or the store was opened for reading
    Location,     // the text names no store this program can open
  };
  StoreError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

class Store {
 public:
  virtual ~Store() = default;
  // One download's facts in one transaction, with its attempt's row when given (its `added` and
  // `id` set): all of it or none. Returns how many facts were new. `source` says where they came
  // from ("download <file>", "realtime", "import <path>").
  virtual std::size_t write(const std::vector<Fact>& facts, const std::string& source,
                            Attempt* attempt = nullptr) = 0;
  // An attempt that stored nothing (it failed before its records were safe), its row alone; or,
  // for an attempt already written (id set), its row as it ended (an erase that failed after
  // the records were stored).
  void log(Attempt& attempt) {
    if (attempt.id == 0) {
      write({}, "", &attempt);
    } else {
      amend(attempt);
    }
  }
  // Throws StoreError when the store would refuse a write: a probe row written and rolled back,
  // so that a download finds out before its terminal is touched, not after.
  virtual void proveWritable() = 0;
  // The facts in time order (then terminal, person, machine), all at once: forEach() held.
  std::vector<StoredFact> query(const Query& query);
  // Every terminal in the collection log, by name. A store opened for reading that was made
  // before attempts were logged throws StoreError (Kind::Schema) saying so.
  virtual std::vector<TerminalStatus> terminals() = 0;
  // query()'s facts in its order, one at a time, never all held at once; `each` returning false
  // ends the walk (a reader that went away).
  virtual void forEach(const Query& query, const std::function<bool(const StoredFact&)>& each) = 0;
  // Facts per day and terminal among those whose seq is greater than `after`.
  virtual DayTally tallyDays(std::int64_t after);

  // What the few statements that both stores run through exchange() write differently.
  struct Dialect {
    std::string now;         // the database's clock, whole seconds since the epoch
    std::string skipLocked;  // after a SELECT: lock its rows, passing over those locked already
    std::string listBefore, listAfter;  // around a parameter holding a JSON list of texts: its elements
  };
  virtual Dialect dialect() const = 0;
  // One statement, a transaction of its own: text parameters ($1...), NULL as none; its rows as
  // text. A store opened for reading refuses a statement that writes.
  using Row = std::vector<std::optional<std::string>>;
  virtual std::vector<Row> exchange(const std::string& sql, const Row& parameters) = 0;

 protected:
  // The row of an attempt already written (its id set), as it ended.
  virtual void amend(const Attempt& attempt) = 0;
};

// A PostgreSQL database named as libpq takes it: a URI ("postgresql://USER@HOST/DB",
// "postgres://...") or a "key=value ..." string ("host=/run/postgresql dbname=movar"); a text
// that reads like one but is not is refused (store/location.h). Anything else is a SQLite file,
// made on first use; a file whose name reads like such a string is named with its folder
// ("./host=a.db"). Either store makes its schema on first use and commits durably (a write has
// returned only once it is on the disk). Throws StoreError with the cause in words, never with
// a password.
//
// Access::Read changes nothing in the store, and needs only read permission: no file, folder or
// schema is made (a missing store is a StoreError of Kind::NotFound), an older store is read as it
// is (its facts numbered 0), and a PostgreSQL session is read-only. A SQLite store's -wal and -shm
// files stay beside it after its last writer closes, so that a reader who may not write the folder
// finds them there.
enum class Access { ReadWrite, Read };
std::unique_ptr<Store> openStore(const std::string& location, Access access = Access::ReadWrite);

// The schema every store has, for the README and other readers.
extern const char* const kSchema;

}  // namespace movar::store
