// The record store on a real SQLite file and on a real PostgreSQL server: a fact kept once
// whatever brings it again (writers at the same moment included), the queries payroll runs, record
// files imported (twice) from a collection's folders, and a server lost in the middle of writes.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <chrono>
#include <fstream>
#include <future>
#include <latch>
#include <map>
#include <set>
#include <thread>

#include "host_runner.h"
#include "pg_cluster.h"
#include "store/facts.h"
#include "store/fleet.h"
#include "store/import.h"
#include "store/store.h"

namespace movar::itest {
namespace {

namespace store = movar::store;
using store::Fact;

// A 6-byte record: person, year-2000 and month, day, hour, minute (machine number 0).
std::vector<std::uint8_t> record(int person, int year, int month, int day, int hour, int minute) {
  return {static_cast<std::uint8_t>(person >> 8), static_cast<std::uint8_t>(person),
          static_cast<std::uint8_t>(year << 4 | month), static_cast<std::uint8_t>(day),
          static_cast<std::uint8_t>(hour), static_cast<std::uint8_t>(minute)};
}

std::vector<Fact> factsOf(const std::vector<store::StoredFact>& stored) {
  std::vector<Fact> out;
  for (const auto& s : stored) out.push_back(s.fact);
  return out;
}

// Where a test's store is: a SQLite file, or a throwaway PostgreSQL server named by libpq's
// "key=value" string or by a URI.
enum class Backend { sqlite, postgresKeywords, postgresUri };

class StoreOn : public ::testing::TestWithParam<Backend> {
 protected:
  // The store's location; the server starts on first use.
  std::string storeLocation() {
    if (GetParam() == Backend::sqlite) return (dir_.path() / "facts.db").string();
    if (!cluster_) cluster_.emplace();
    if (!cluster_->installed()) return "";
    return GetParam() == Backend::postgresUri ? cluster_->uri() : cluster_->keywords();
  }
  // A store that cannot open, its location with a password that no message may show.
  std::string unusable() const {
    const std::string missing = (dir_.path() / "no" / "such").string();
    switch (GetParam()) {
      case Backend::sqlite: return missing + "/facts.db";
      case Backend::postgresKeywords: return "host=" + missing + " user=movar password=secret dbname=facts";
      case Backend::postgresUri: return "postgres://movar:secret@/facts?host=" + missing;
    }
    return "";
  }

  TempDir dir_;
  std::optional<PgCluster> cluster_;
};

#define STORE_LOCATION(name)                                                 \
  const std::string name = storeLocation();                                     \
  if (name.empty()) GTEST_SKIP() << "no PostgreSQL server installed here"

std::string nameOf(const ::testing::TestParamInfo<Backend>& backend) {
  const char* const names[] = {"SQLite", "PostgresKeywords", "PostgresUri"};
  return names[static_cast<int>(backend.param)];
}
INSTANTIATE_TEST_SUITE_P(Store, StoreOn,
                         ::testing::Values(Backend::sqlite, Backend::postgresKeywords, Backend::postgresUri),
                         nameOf);

TEST_P(StoreOn, KeepsEachFactOnceAndAnswersInTimeOrder) {
  STORE_LOCATION(path);
  const Fact a{"10.0.0.5", 7, "2009-03-14 08:05", 1}, b{"10.0.0.5", 8, "2009-03-13 17:30", 1},
             c{"COM1:7", 7, "2009-03-14 08:05", 1}, d{"10.0.0.5", 7, "2009-03-14 08:05", 2},
             // Byte order, whatever the server's locale would say (it puts "annex" first).
             e{"annex", 7, "2009-03-14 08:05", 1};
  {
    auto s = store::openStore(path);
    EXPECT_EQ(s->write({a, b, a}, "download"), 2u);
    // A re-download after a restore, other terminals, another machine number.
    EXPECT_EQ(s->write({b, a, c, d, e}, "download"), 3u);
  }
  auto s = store::openStore(path);  // reopened: all of it was committed
  EXPECT_EQ(s->write({a}, "realtime"), 0u);
  EXPECT_EQ(factsOf(s->query({})), (std::vector<Fact>{b, a, d, c, e}));

  struct Row { store::Query query; std::vector<Fact> expected; };
  const std::nullopt_t any = std::nullopt;
  const Row rows[] = {
      {{"2009-03-14", any, any, any, any}, {a, d, c, e}},
      {{any, "2009-03-13", any, any, any}, {b}},  // a date alone takes in its whole day
      {{"2009-03-13 17:30", "2009-03-14 08:04", any, any, any}, {b}},
      {{any, any, 7, "10.0.0.5", any}, {a, d}},
      {{any, any, any, "COM1:7", any}, {c}},
  };
  for (const Row& row : rows) EXPECT_EQ(factsOf(s->query(row.query)), row.expected);
  // What arrived after the first download's facts: exactly the second one's new ones.
  std::int64_t first = 0;
  for (const auto& f : s->query({})) {
    if (f.fact == a || f.fact == b) first = std::max(first, f.seq);
  }
  EXPECT_EQ(factsOf(s->query({any, any, any, any, first})), (std::vector<Fact>{d, c, e}));
}

// Past a cursor's batch and stopped early: every fact once in order, and the store takes writes
// after an early stop (the walk's transaction ended with it).
TEST_P(StoreOn, AWalkGivesEveryFactOnceInOrderAndMayStopEarly) {
  STORE_LOCATION(path);
  auto s = store::openStore(path);
  std::vector<Fact> facts;
  for (int k = 0; k < 20001; ++k) {
    char minute[24];
    std::snprintf(minute, sizeof minute, "2009-01-%02d %02d:%02d", 1 + k / 1440, k % 1440 / 60, k % 60);
    facts.push_back({"10.0.0.5", k % 7, minute, 1});
  }
  ASSERT_EQ(s->write(facts, "download"), facts.size());
  std::vector<Fact> walked;
  s->forEach({}, [&](const store::StoredFact& f) { return walked.push_back(f.fact), true; });
  EXPECT_EQ(walked, facts);  // made in time order, each minute once
  int taken = 0;
  s->forEach({}, [&](const store::StoredFact&) { return ++taken < 3; });
  EXPECT_EQ(taken, 3);
  EXPECT_EQ(s->write({{"10.0.0.6", 1, "2010-01-01 00:00", 1}}, "download"), 1u);
  EXPECT_EQ(s->query({}).size(), facts.size() + 1);
}

TEST_P(StoreOn, TheCollectionLogSaysEachTerminalsLatestAttemptAndItsLastSuccess) {
  STORE_LOCATION(location);
  auto s = store::openStore(location);
  using R = store::Attempt::Result;
  const auto attempt = [](const char* terminal, const char* at, R result, const char* reason) {
    store::Attempt a;
    a.terminal = terminal;
    a.started = a.finished = at;
    a.result = result;
    a.reason = reason;
    return a;
  };
  store::Attempt good = attempt("10.0.0.5", "2026-12-01 10:00:00", R::Ok, "");
  good.records = good.announced.emplace(2);
  EXPECT_EQ(s->write({{"10.0.0.5", 1, "2026-12-01 09:00", 0}, {"10.0.0.5", 2, "2026-12-01 09:01", 0}},
                     "download", &good),
            2u);
  EXPECT_EQ(good.added, 2);
  for (store::Attempt a : {attempt("10.0.0.5", "2026-12-02 10:00:00", R::Failed, "connect fail"),
                           attempt("COM1:7", "2026-12-02 10:00:00", R::Failed, "no answer"),
                           attempt("10.0.0.5", "2026-12-03 10:00:00", R::Failed, "connect fail")}) {
    s->log(a);
  }
  // Clock settings are told beside the downloads, never counted among them.
  for (store::Attempt a : {attempt("10.0.0.5", "2026-12-01 10:01:00", R::Ok, ""),
                           attempt("10.0.0.5", "2026-12-03 10:01:00", R::Failed, "no answer")}) {
    a.kind = store::Attempt::Kind::Clock;
    s->log(a);
  }
  // An erase that failed after the records were stored: the row it wrote says so.
  store::Attempt erased = attempt("COM1:7", "2026-12-04 10:00:00", R::Ok, "");
  s->write({}, "download", &erased);
  erased.result = R::Failed;
  erased.reason = "the erase failed";
  s->log(erased);

  const auto terminals = s->terminals();
  ASSERT_EQ(terminals.size(), 2u);
  EXPECT_EQ(terminals[0].terminal, "10.0.0.5");
  EXPECT_EQ(terminals[0].last.reason, "connect fail");
  EXPECT_EQ(terminals[0].last.started, "2026-12-03 10:00:00");
  EXPECT_EQ(terminals[0].lastSuccess, "2026-12-01 10:00:00");
  EXPECT_EQ(terminals[0].recordsAtLastSuccess, 2);
  EXPECT_EQ(terminals[0].failedInARow, 2);
  ASSERT_TRUE(terminals[0].lastClock);
  EXPECT_EQ(terminals[0].lastClock->started, "2026-12-03 10:01:00");
  EXPECT_EQ(terminals[0].lastClock->reason, "no answer");
  EXPECT_EQ(terminals[0].lastClockSet, "2026-12-01 10:01:00");
  EXPECT_EQ(terminals[1].terminal, "COM1:7");
  EXPECT_EQ(terminals[1].lastClock, std::nullopt);
  EXPECT_EQ(terminals[1].last.reason, "the erase failed");
  EXPECT_EQ(terminals[1].lastSuccess, std::nullopt);
  EXPECT_EQ(terminals[1].failedInARow, 2);
}

TEST_P(StoreOn, RecordFilesOfACollectionImportOnceWithTheirFolderAsTerminal) {
  STORE_LOCATION(location);
  const TempDir& dir = dir_;
  const auto write = [](const std::filesystem::path& file, std::vector<std::vector<std::uint8_t>> records) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    for (const auto& r : records) out.write(reinterpret_cast<const char*>(r.data()), 6);
  };
  const auto site = dir.path() / "site";
  write(site / "10.0.0.5" / "movar.dat", {record(1, 9, 3, 14, 8, 5), record(2, 9, 3, 14, 8, 6)});
  // The backup of the same download, and one impossible record (month 13) that is never stored.
  write(site / "10.0.0.5" / "downbak" / "k0314080500_00.dat", {record(1, 9, 3, 14, 8, 5), record(3, 9, 13, 1, 0, 0)});
  write(site / "10.0.0.6" / "movar.txt", {record(9, 9, 3, 14, 8, 5)});  // not a record file
  const auto loose = dir.path() / "COM1:7" / "loose.dat";  // named by hand, in a serial terminal's folder
  write(loose, {record(4, 8, 2, 29, 23, 59)});  // 2008 was a leap year

  auto s = store::openStore(location);
  const auto files = store::recordFilesOf({site.string(), loose.string()});
  ASSERT_EQ(files.size(), 3u);
  for (int pass = 0; pass < 2; ++pass) {
    const auto imported = store::importFiles(*s, files, std::nullopt);
    std::size_t added = 0, impossible = 0;
    for (const auto& f : imported) added += f.added, impossible += f.impossible;
    EXPECT_EQ(added, pass == 0 ? 3u : 0u);
    EXPECT_EQ(impossible, 1u);
  }
  EXPECT_EQ(factsOf(s->query({})),
            (std::vector<Fact>{{"COM1:7", 4, "2008-02-29 23:59", 0},
                               {"10.0.0.5", 1, "2009-03-14 08:05", 0},
                               {"10.0.0.5", 2, "2009-03-14 08:06", 0}}));
  try {
    store::recordFilesOf({(dir.path() / "missing").string()});
    ADD_FAILURE() << "a missing folder was searched";
  } catch (const store::StoreError& e) {
    EXPECT_EQ(e.kind(), store::StoreError::Kind::NotFound);
    EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
  }
}

// A reader makes no schema where there is none and cannot write, the server refusing it too.
TEST_P(StoreOn, AReaderMakesNothingAndWritesNothing) {
  STORE_LOCATION(location);
  using Kind = store::StoreError::Kind;
  const auto kindOfOpening = [&]() -> std::optional<Kind> {
    try {
      store::openStore(location, store::Access::Read);
    } catch (const store::StoreError& e) {
      return e.kind();
    }
    return std::nullopt;
  };
  // No file at all, or a database without the tables (asked twice: the first made nothing).
  const Kind none = GetParam() == Backend::sqlite ? Kind::NotFound : Kind::Schema;
  EXPECT_EQ(kindOfOpening(), none);
  EXPECT_EQ(kindOfOpening(), none);
  store::openStore(location)->write({{"10.0.0.5", 7, "2009-03-14 08:05", 1}}, "download");
  auto reader = store::openStore(location, store::Access::Read);
  EXPECT_EQ(reader->query({}).size(), 1u);
  try {
    reader->write({{"10.0.0.5", 8, "2009-03-14 08:06", 1}}, "download");
    ADD_FAILURE() << "a reader wrote";
  } catch (const store::StoreError& e) {
    EXPECT_EQ(e.kind(), Kind::Denied) << e.what();
  }
  EXPECT_EQ(store::openStore(location)->query({}).size(), 1u);
}

TEST_P(StoreOn, AnUnusableStoreIsAnErrorInWordsWithoutThePassword) {
  try {
    store::openStore(unusable());
    FAIL() << "opened";
  } catch (const store::StoreError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("no/such"), std::string::npos) << message;
    EXPECT_EQ(message.find("secret"), std::string::npos) << message;
  }
}

// Four collectors at once, each with its own connection, over overlapping downloads (each writer
// goes through all of them from its own starting point, half of them with each download's records
// the other way round), on a store none of them made yet.
TEST_P(StoreOn, WritersAtOnceStoreEveryFactExactlyOnce) {
  STORE_LOCATION(location);
  constexpr int kWriters = 4, kDownloads = 8, kPerDownload = 200;
  const auto download = [](int n) {  // overlaps half of download n + 1
    std::vector<Fact> facts;
    for (int i = n * kPerDownload / 2; i < (n + 2) * kPerDownload / 2; ++i) {
      facts.push_back({"10.0.1." + std::to_string(i % 7), i, "2009-03-14 08:05", 1});
    }
    return facts;
  };
  std::latch ready(kWriters);
  std::vector<std::future<std::size_t>> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back(std::async(std::launch::async, [&, w] {
      ready.arrive_and_wait();
      auto s = store::openStore(location);
      std::size_t added = 0;
      for (int n = 0; n < kDownloads; ++n) {
        std::vector<Fact> facts = download((n + 2 * w) % kDownloads);
        if (w % 2) std::reverse(facts.begin(), facts.end());
        added += s->write(facts, "download");
      }
      return added;
    }));
  }
  std::size_t added = 0;
  for (auto& w : writers) added += w.get();
  const std::size_t distinct = (kDownloads + 1) * kPerDownload / 2;
  EXPECT_EQ(added, distinct);
  EXPECT_EQ(store::openStore(location)->query({}).size(), distinct);
}

store::FleetTerminal fleetTerminal(const std::string& terminal, const std::string& host = "") {
  store::FleetTerminal t;
  t.terminal = terminal;
  t.name = "at " + terminal;
  t.host = host;
  return t;
}

// Each terminal to one collector at a time: claimed oldest due first, skipped while held, a serial
// one only by its own host, due again `every` after its claim, free again once its lease lapses.
TEST_P(StoreOn, AFleetTerminalIsHeldByOneCollectorUntilReleasedOrItsLeaseLapses) {
  STORE_LOCATION(location);
  auto a = store::openStore(location), b = store::openStore(location);
  store::addTerminals(*a, {fleetTerminal("10.0.0.5"), fleetTerminal("10.0.0.6"), fleetTerminal("COM1:3", "far")});
  const auto claim = [](store::Store& s, const std::string& who, std::int64_t lease,
                        std::optional<std::vector<std::string>> only = std::nullopt) {
    const auto got = store::claimOne(s, {who, "near", std::move(only), lease, 600});
    return got ? got->terminal : std::string("none");
  };
  EXPECT_EQ(claim(*a, "A", 1, std::vector<std::string>{"10.0.0.6"}), "10.0.0.6");
  EXPECT_EQ(claim(*b, "B", 60), "10.0.0.5");
  EXPECT_EQ(claim(*b, "B", 60), "none");  // one held, the serial one is another host's
  store::releaseLease(*b, "10.0.0.5", "B");
  EXPECT_EQ(claim(*a, "A", 60), "none");  // released, but not due for ten minutes
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // A's lease of 1 s lapses
  EXPECT_EQ(claim(*b, "B", 60, std::vector<std::string>{"10.0.0.6", "COM1:3"}), "10.0.0.6");
  EXPECT_EQ(store::renewLeases(*a, "A", 60), 0);  // A lost it
  std::map<std::string, std::string> holders;
  for (const auto& t : store::fleet(*a)) holders[t.terminal] = t.holder + "/" + t.lastHolder;
  EXPECT_EQ(holders, (std::map<std::string, std::string>{{"10.0.0.5", "/B"}, {"10.0.0.6", "B/"}, {"COM1:3", "/"}}));
  // Another host's serial terminal of the same name stays the first host's, and is said.
  EXPECT_EQ(store::addTerminals(*b, {fleetTerminal("COM1:3", "near"), fleetTerminal("10.0.0.7")}),
            std::vector<std::string>{"COM1:3"});
  for (const auto& t : store::fleet(*a)) EXPECT_EQ(t.host, t.terminal == "COM1:3" ? "far" : "");
}

TEST_P(StoreOn, CollectorsClaimingAtOnceNeverGetOneTerminalTwice) {
  STORE_LOCATION(location);
  constexpr int kCollectors = 4, kTerminals = 60;
  std::vector<store::FleetTerminal> fleet;
  for (int t = 0; t < kTerminals; ++t) fleet.push_back(fleetTerminal("10.0.3." + std::to_string(t)));
  store::addTerminals(*store::openStore(location), fleet);
  std::latch ready(kCollectors);
  std::vector<std::future<std::vector<std::string>>> collectors;
  for (int c = 0; c < kCollectors; ++c) {
    collectors.push_back(std::async(std::launch::async, [&, c] {
      auto s = store::openStore(location);
      ready.arrive_and_wait();
      std::vector<std::string> got;
      while (const auto t = store::claimOne(*s, {"C" + std::to_string(c), "h", std::nullopt, 60, 600})) {
        got.push_back(t->terminal);
      }
      return got;
    }));
  }
  std::multiset<std::string> claimed;
  for (auto& c : collectors) {
    for (const std::string& t : c.get()) claimed.insert(t);
  }
  EXPECT_EQ(claimed.size(), static_cast<std::size_t>(kTerminals));
  EXPECT_EQ(std::set<std::string>(claimed.begin(), claimed.end()).size(), static_cast<std::size_t>(kTerminals));
}

// A write blocked in the middle of its transaction when the server dies, a write while it is
// down, then the server back: both writes failed whole and succeed whole afterwards; and a
// restart between writes goes unnoticed.
TEST(StorePostgres, AServerLostMidWriteLosesNothingAndDoublesNothing) {
  PgCluster cluster;
  if (!cluster.installed()) GTEST_SKIP() << "no PostgreSQL server installed here";
  const auto download = [](int n) {
    std::vector<Fact> facts;
    for (int person = 1; person <= 100; ++person) facts.push_back({"10.0.0.9", person, "2009-03-1" + std::to_string(n) + " 08:00", 0});
    return facts;
  };
  auto s = store::openStore(cluster.keywords());
  ASSERT_EQ(s->write(download(1), "download"), 100u);

  // Another session inserting download 2's 50th fact, uncommitted, holds the writer there.
  std::unique_ptr<PGconn, decltype(&PQfinish)> other(PQconnectdb(cluster.keywords().c_str()), PQfinish);
  const auto exec = [&](const std::string& sql) { PQclear(PQexec(other.get(), sql.c_str())); };
  exec("BEGIN");
  exec("INSERT INTO attendance VALUES ('10.0.0.9', 50, '2009-03-12 08:00', 0, 'x', 'x', -50)");
  auto blocked = std::async(std::launch::async, [&] { return s->write(download(2), "download"); });
  const auto waiting = [&] {
    std::unique_ptr<PGconn, decltype(&PQfinish)> look(PQconnectdb(cluster.keywords().c_str()), PQfinish);
    std::unique_ptr<PGresult, decltype(&PQclear)> count(
        PQexec(look.get(), "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'"), PQclear);
    return PQresultStatus(count.get()) == PGRES_TUPLES_OK && std::string(PQgetvalue(count.get(), 0, 0)) == "1";
  };
  for (int tries = 0; !waiting() && tries < 500; ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(waiting());
  cluster.stop("immediate");
  EXPECT_THROW(blocked.get(), store::StoreError);
  EXPECT_THROW(s->write(download(3), "download"), store::StoreError);

  cluster.start();
  EXPECT_EQ(s->write(download(2), "download"), 100u);  // none of it had stayed
  EXPECT_EQ(s->write(download(3), "download"), 100u);
  EXPECT_EQ(s->write(download(1), "download"), 0u);
  // Restarted while the store sat idle: its connection looks sound until used.
  cluster.stop();
  cluster.start();
  EXPECT_EQ(s->write(download(4), "download"), 100u);
  EXPECT_EQ(s->query({}).size(), 400u);
}

}  // namespace
}  // namespace movar::itest
