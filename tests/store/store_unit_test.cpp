// The store library on its own (SQLite and this program's store code, nothing of the command
// line): what a reader may and may not do to a store, and a store older than its numbers.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "store/store.h"
#include "temp_dir.h"

namespace movar::itest {
namespace {

namespace store = movar::store;
using Kind = store::StoreError::Kind;

std::string bytesOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void sql(const std::filesystem::path& file, const char* text) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &raw), SQLITE_OK);
  const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  ASSERT_EQ(sqlite3_exec(db.get(), text, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db.get());
}

// A reader changes nothing on the disk, not even where there is no store to read.
TEST(StoreReader, AStoreThatIsNotThereIsSaidAndNothingIsMade) {
  const TempDir dir;
  std::ofstream(dir.path() / "empty.db").close();
  struct Row {
    std::string path;
    Kind kind;
    std::string said;
  };
  const std::string in = dir.path().string() + "/";
  const Row rows[] = {
      {"missing.db", Kind::NotFound, "no such store: " + in + "missing.db"},
      {"gone/facts.db", Kind::NotFound, "folder " + in + "gone does not exist"},
      {"empty.db", Kind::Schema, "no record store in " + in + "empty.db"},
  };
  for (const Row& row : rows) {
    const std::filesystem::path path = dir.path() / row.path;
    const bool existed = std::filesystem::exists(path);
    try {
      store::openStore(path.string(), store::Access::Read);
      ADD_FAILURE() << row.path << " opened";
    } catch (const store::StoreError& e) {
      EXPECT_EQ(e.kind(), row.kind) << row.path;
      EXPECT_NE(std::string(e.what()).find(row.said), std::string::npos) << e.what();
    }
    EXPECT_EQ(std::filesystem::exists(path), existed) << row.path;
    if (existed) {
      EXPECT_EQ(std::filesystem::file_size(path), 0u) << row.path;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "gone"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.db-wal"));
}

// The -wal and -shm files stay after the writer: a reader who may not write the folder needs them.
// Whatever the reader is asked, the store's files stay as the writer left them.
TEST(StoreReader, ReadsWhatTheWriterLeftAndWritesNothing) {
  const TempDir dir;
  const std::string path = (dir.path() / "facts.db").string();
  {
    auto writer = store::openStore(path);
    store::Attempt attempt;
    attempt.terminal = "10.0.0.5";
    attempt.started = attempt.finished = "2026-12-01 10:00:00";
    attempt.result = store::Attempt::Result::Ok;
    attempt.records = 1;
    writer->write({{"10.0.0.5", 7, "2009-03-14 08:05", 1}}, "download", &attempt);
  }
  ASSERT_TRUE(std::filesystem::exists(path + "-wal"));
  ASSERT_TRUE(std::filesystem::exists(path + "-shm"));
  const std::string before = bytesOf(path), walBefore = bytesOf(path + "-wal");

  auto reader = store::openStore(path, store::Access::Read);
  const auto facts = reader->query({});
  ASSERT_EQ(facts.size(), 1u);
  EXPECT_GT(facts[0].seq, 0);
  ASSERT_EQ(reader->terminals().size(), 1u);
  EXPECT_EQ(reader->terminals()[0].lastSuccess, "2026-12-01 10:00:00");
  try {
    reader->write({{"10.0.0.5", 8, "2009-03-14 08:06", 1}}, "download");
    ADD_FAILURE() << "a reader wrote";
  } catch (const store::StoreError& e) {
    EXPECT_EQ(e.kind(), Kind::Denied);
  }
  EXPECT_THROW(reader->proveWritable(), store::StoreError);
  reader.reset();
  EXPECT_EQ(bytesOf(path), before);
  EXPECT_EQ(bytesOf(path + "-wal"), walBefore);
}

// A store from before facts had numbers and attempts a log: read as it is (every fact numbered
// 0, the log said to be missing, not one byte changed), then numbered in the order its facts were
// collected by the first writer.
TEST(StoreReader, AStoreFromBeforeSequenceNumbersIsReadAsItIsThenNumberedInCollectionOrder) {
  const TempDir dir;
  const std::filesystem::path path = dir.path() / "old.db";
  sql(path,
      "CREATE TABLE attendance (terminal TEXT NOT NULL, person INTEGER NOT NULL, time TEXT "
      "NOT NULL, machine INTEGER NOT NULL, collected TEXT NOT NULL, source TEXT NOT NULL, "
      "PRIMARY KEY (terminal, person, time, machine));"
      "INSERT INTO attendance VALUES ('10.0.0.5', 2, '2009-03-13 08:05', 1, "
      "'2010-01-02 00:00:00', 'download'), ('10.0.0.5', 1, '2009-03-14 08:05', 1, "
      "'2010-01-01 00:00:00', 'download')");
  const std::string before = bytesOf(path);
  {
    auto reader = store::openStore(path.string(), store::Access::Read);
    std::vector<std::pair<int, std::int64_t>> seqs;
    for (const auto& f : reader->query({})) seqs.emplace_back(f.fact.person, f.seq);
    EXPECT_EQ(seqs, (std::vector<std::pair<int, std::int64_t>>{{2, 0}, {1, 0}}));
    store::Query after;
    after.after = 0;
    EXPECT_TRUE(reader->query(after).empty());
    try {
      reader->terminals();
      ADD_FAILURE() << "a log where there is none";
    } catch (const store::StoreError& e) {
      EXPECT_EQ(e.kind(), Kind::Schema);
      EXPECT_NE(std::string(e.what()).find("has no collection log yet"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(bytesOf(path), before);
  EXPECT_FALSE(std::filesystem::exists(path.string() + "-wal"));

  auto s = store::openStore(path.string());
  EXPECT_EQ(s->write({{"10.0.0.5", 3, "2009-03-12 08:00", 1}}, "download"), 1u);
  std::vector<std::pair<int, std::int64_t>> seqs;
  for (const auto& f : s->query({})) seqs.emplace_back(f.fact.person, f.seq);
  EXPECT_EQ(seqs, (std::vector<std::pair<int, std::int64_t>>{{3, 3}, {2, 2}, {1, 1}}));
}

// A log from before clock settings were logged: read as it is, then its first writer gives it a
// kind, every row it held a download still counted in the terminal's state.
TEST(StoreReader, ALogFromBeforeClockSettingsIsReadAsItIsThenKeepsItsRowsAsDownloads) {
  const TempDir dir;
  const std::filesystem::path path = dir.path() / "old.db";
  {
    auto s = store::openStore(path.string());
    for (const char* at : {"2026-12-01 10:00:00", "2026-12-02 10:00:00"}) {
      store::Attempt a;
      a.terminal = "10.0.0.5";
      a.started = a.finished = at;
      a.result = store::Attempt::Result::Failed;
      s->log(a);
    }
  }
  sql(path, "ALTER TABLE collections DROP COLUMN kind");
  const auto said = [](store::Store& s) {
    const auto t = s.terminals();
    return t.size() == 1 && t[0].failedInARow == 2 && t[0].last.started == "2026-12-02 10:00:00" && !t[0].lastClock;
  };
  const std::string before = bytesOf(path);
  EXPECT_TRUE(said(*store::openStore(path.string(), store::Access::Read)));
  EXPECT_EQ(bytesOf(path), before);
  auto s = store::openStore(path.string());
  EXPECT_TRUE(said(*s));
  store::Attempt clock;
  clock.kind = store::Attempt::Kind::Clock;
  clock.terminal = "10.0.0.5";
  clock.started = clock.finished = "2026-12-02 10:01:00";
  clock.result = store::Attempt::Result::Ok;
  s->log(clock);
  EXPECT_EQ(s->terminals().at(0).lastClockSet, "2026-12-02 10:01:00");
  EXPECT_EQ(s->terminals().at(0).failedInARow, 2);
}

}  // namespace
}  // namespace movar::itest
