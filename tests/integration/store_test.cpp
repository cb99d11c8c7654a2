// The record store on a real SQLite file: a fact kept once whatever brings it again, the queries
// payroll runs, and record files imported (twice) from a collection's folders.
#include <gtest/gtest.h>

#include <fstream>

#include "host_runner.h"
#include "store/facts.h"
#include "store/import.h"
#include "store/store.h"

namespace movar::itest {
namespace {

namespace store = movar::cli::store;
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

TEST(Store, KeepsEachFactOnceAndAnswersInTimeOrder) {
  TempDir dir;
  const std::string path = (dir.path() / "facts.db").string();
  const Fact a{"10.0.0.5", 7, "2009-03-14 08:05", 1}, b{"10.0.0.5", 8, "2009-03-13 17:30", 1},
             c{"COM1:7", 7, "2009-03-14 08:05", 1}, d{"10.0.0.5", 7, "2009-03-14 08:05", 2};
  {
    auto s = store::openStore(path);
    EXPECT_EQ(s->write({a, b}, "download"), 2u);
    // A re-download after a restore, another terminal, another machine number.
    EXPECT_EQ(s->write({b, a, c, d}, "download"), 2u);
  }
  auto s = store::openStore(path);  // reopened: all of it was committed
  EXPECT_EQ(s->write({a}, "realtime"), 0u);
  EXPECT_EQ(factsOf(s->query({})), (std::vector<Fact>{b, a, d, c}));

  struct Row { store::Query query; std::vector<Fact> expected; };
  const std::nullopt_t any = std::nullopt;
  const Row rows[] = {
      {{"2009-03-14", any, any, any}, {a, d, c}},
      {{any, "2009-03-13", any, any}, {b}},  // a date alone takes in its whole day
      {{"2009-03-13 17:30", "2009-03-14 08:04", any, any}, {b}},
      {{any, any, 7, "10.0.0.5"}, {a, d}},
      {{any, any, any, "COM1:7"}, {c}},
  };
  for (const Row& row : rows) EXPECT_EQ(factsOf(s->query(row.query)), row.expected);
}

TEST(Store, RecordFilesOfACollectionImportOnceWithTheirFolderAsTerminal) {
  TempDir dir;
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
  write(dir.path() / "loose.dat", {record(4, 8, 2, 29, 23, 59)});  // 2008 was a leap year

  auto s = store::openStore((dir.path() / "facts.db").string());
  std::string error;
  const auto files = store::recordFilesOf({site.string(), (dir.path() / "loose.dat").string()}, error);
  ASSERT_EQ(files.size(), 3u) << error;
  for (int pass = 0; pass < 2; ++pass) {
    const auto imported = store::importFiles(*s, files, std::nullopt);
    std::size_t added = 0, impossible = 0;
    for (const auto& f : imported) added += f.added, impossible += f.impossible;
    EXPECT_EQ(added, pass == 0 ? 3u : 0u);
    EXPECT_EQ(impossible, 1u);
  }
  EXPECT_EQ(factsOf(s->query({})),
            (std::vector<Fact>{{dir.path().filename().string(), 4, "2008-02-29 23:59", 0},
                               {"10.0.0.5", 1, "2009-03-14 08:05", 0},
                               {"10.0.0.5", 2, "2009-03-14 08:06", 0}}));
  EXPECT_TRUE(store::recordFilesOf({(dir.path() / "missing").string()}, error).empty());
  EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(Store, AnUnusableStoreIsAnErrorInWords) {
  TempDir dir;
  try {
    store::openStore((dir.path() / "no" / "such" / "facts.db").string());
    FAIL() << "opened";
  } catch (const store::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("facts.db"), std::string::npos);
  }
}

}  // namespace
}  // namespace movar::itest
