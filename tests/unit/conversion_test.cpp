#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "link/failure.h"
#include "records/conversion.h"

namespace movar::records {
namespace {

using fake::FakePlatform;

const std::string kDir = "C:\\host\\";
const std::string kBak = "C:\\host\\downbak\\";

Bytes attendance(std::uint16_t person, int flagsDay, int low) {
  return {static_cast<std::uint8_t>(person >> 8), static_cast<std::uint8_t>(person & 0xFF),
          0x93, static_cast<std::uint8_t>(flagsDay), static_cast<std::uint8_t>((low >> 2) << 5 | 8),
          static_cast<std::uint8_t>((low & 3) << 6 | 5)};
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string text(const FakePlatform& f, const std::string& path) {
  const auto it = f.files.contents.find(path);
  return it == f.files.contents.end() ? "<missing>" : std::string(it->second.begin(), it->second.end());
}

std::vector<std::string> backups(const FakePlatform& f) {
  std::vector<std::string> names;
  for (const auto& [path, bytes] : f.files.contents)
    if (path.rfind(kBak, 0) == 0) names.push_back(path.substr(kBak.size()));
  return names;
}

TEST(convertAfterDownload, LinesWaitsAndBothBackups) {
  FakePlatform f;
  const Bytes dat = join({attendance(123, 14, 7), attendance(5, 0xC5, 2), {0xAA}});  // 13 bytes
  f.files.contents[kDir + "movar.dat"] = dat;
  EXPECT_EQ(convertAfterDownload(f.platform), 0);
  const std::string expected = "00012308:052009031407\r\n00000508:052009030562\r\n";
  EXPECT_EQ(text(f, kDir + "movar.txt"), expected);
  EXPECT_EQ(f.clock.sleeps, (std::vector<Millis>{300, 1000}));
  // Both names formed at 1.3 s: 08:15:31; NN from the first record.
  EXPECT_EQ(backups(f), (std::vector<std::string>{"k0314081531_07.dat", "k0314081531_07.txt"}));
  EXPECT_EQ(text(f, kBak + "k0314081531_07.txt"), expected);
  EXPECT_EQ(f.files.contents[kBak + "k0314081531_07.dat"], dat);
  EXPECT_EQ(f.files.contents[kDir + "movar.dat"], dat);
  EXPECT_TRUE(f.ui.messages.empty());
  EXPECT_EQ(f.files.openFiles, 0);
}

TEST(convertAfterDownload, EmptyFileGivesEmptyTextAndDoubleZeroBackups) {
  FakePlatform f;
  f.files.contents[kDir + "movar.dat"] = {};
  EXPECT_EQ(convertAfterDownload(f.platform), 0);
  EXPECT_EQ(text(f, kDir + "movar.txt"), "");
  EXPECT_EQ(backups(f), (std::vector<std::string>{"k0314081531_00.dat", "k0314081531_00.txt"}));
}

TEST(convertAfterDownload, MachineNumberSourceOfEachRoutine) {
  const Bytes record = attendance(1, 0xC5, 2);  // both page flags, low machine bits = 2
  FakePlatform sixty;
  sixty.files.contents[kDir + "movar.dat"] = record;
  EXPECT_EQ(convertAfterDownload(sixty.platform), 0);
  EXPECT_EQ(text(sixty, kDir + "movar.txt"), "00000108:052009030562\r\n");

  FakePlatform adding;
  adding.files.contents[kDir + "movar3.dat"] = join({record, attendance(2, 0xC5, 31)});
  EXPECT_EQ(convertNumberedDownload(adding.platform, 3), 0);
  // 121 is cut to its first two digits by the 21-character line.
  EXPECT_EQ(text(adding, kDir + "movar3.txt"), "00000108:052009030592\r\n00000208:052009030512\r\n");
  EXPECT_EQ(backups(adding), (std::vector<std::string>{"k0314081531_92.dat", "k0314081531_92.txt"}));
  EXPECT_EQ(adding.clock.sleeps, (std::vector<Millis>{300, 1000}));

  FakePlatform fixed;
  fixed.files.contents[kDir + "movar.dat"] = join({record, attendance(2, 14, 30)});
  EXPECT_EQ(convertAddressDownload(fixed.platform, 0x107), 0);  // low byte: 7
  EXPECT_EQ(text(fixed, kDir + "movar.txt"), "00000108:052009030507\r\n00000208:052009031407\r\n");
  EXPECT_EQ(backups(fixed), (std::vector<std::string>{"k0314081531_07.dat", "k0314081531_07.txt"}));
}

TEST(convertAfterDownload, OpenAndCreateRetriesThenFailure) {
  FakePlatform f;  // no movar.dat: 30 attempts, 100 ms apart, one box each
  EXPECT_EQ(convertAfterDownload(f.platform), -1);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>(30, "can not open movar.dat!"));
  EXPECT_EQ(f.clock.now(), 300 + 29 * 100);
  EXPECT_FALSE(f.files.exists(kDir + "movar.txt"));
  EXPECT_FALSE(f.files.exists(kDir + "downbak"));

  FakePlatform numbered;
  EXPECT_EQ(convertNumberedDownload(numbered.platform, 2), -1);
  EXPECT_EQ(numbered.ui.messages.size(), 15u);

  FakePlatform locked;
  locked.files.contents[kDir + "movar.dat"] = attendance(1, 14, 7);
  locked.files.locked.insert(kDir + "movar.txt");
  EXPECT_EQ(convertAfterDownload(locked.platform), -1);
  EXPECT_EQ(locked.ui.messages, std::vector<std::string>(15, "can not creat MOVAR.TXT!"));
  EXPECT_EQ(locked.clock.now(), 300 + 14 * 10);
  EXPECT_EQ(locked.files.openFiles, 0);
  EXPECT_FALSE(locked.files.exists(kDir + "downbak"));

  FakePlatform late;  // opens on the third attempt
  late.files.contents[kDir + "movar.dat"] = attendance(1, 14, 7);
  late.files.refusals[kDir + "movar.dat"] = 2;
  late.files.refusals[kDir + "movar.txt"] = 1;
  EXPECT_EQ(convertAddressDownload(late.platform, 1), 0);
  EXPECT_EQ(late.ui.messages, (std::vector<std::string>{"can not open movar.dat!",
                                                        "can not open movar.dat!",
                                                        "can not creat MOVAR.TXT!"}));
  EXPECT_EQ(late.clock.sleeps, (std::vector<Millis>{300, 100, 100, 100, 1000}));
}

// A text not written in full, or a record file not read in full, is never reported converted.
TEST(convertAfterDownload, FailedWriteOrReadIsAFailureWithoutBackups) {
  for (const bool readFails : {false, true}) {
    FakePlatform f;
    f.files.contents[kDir + "movar.dat"] = attendance(1, 14, 7);
    f.files.contents[kDir + "day.dat"] = attendance(1, 14, 7);
    if (readFails) {
      f.files.failReads = {kDir + "movar.dat", kDir + "day.dat"};
    } else {
      f.files.failWrites = {kDir + "movar.txt", kDir + "day.txt"};
    }
    EXPECT_EQ(convertAfterDownload(f.platform), -1) << readFails;
    EXPECT_EQ(convertFile(f.platform, kDir.c_str(), "day"), 1) << readFails;
    EXPECT_TRUE(backups(f).empty()) << readFails;
    EXPECT_EQ(f.files.openFiles, 0);
  }
}

// An interrupted run can leave k.txt / k.dat (or this version's own intermediates) behind; they
// must not become the new backups, and nothing but the backups stays.
TEST(convertAfterDownload, LeftoverIntermediateFilesAreReplaced) {
  FakePlatform f;
  f.files.directories.insert(kDir + "downbak");
  f.files.contents[kBak + "k.txt"] = {'o', 'l', 'd'};
  f.files.contents[kBak + "k.dat"] = {'o', 'l', 'd'};
  f.files.contents[kBak + "movar.txt.part"] = {'o', 'l', 'd'};
  f.files.contents[kDir + "movar.dat"] = attendance(1, 14, 7);
  EXPECT_EQ(convertAfterDownload(f.platform), 0);
  EXPECT_EQ(backups(f), (std::vector<std::string>{"k0314081531_07.dat", "k0314081531_07.txt"}));
  EXPECT_EQ(text(f, kBak + "k0314081531_07.txt"), "00000108:052009031407\r\n");
  EXPECT_EQ(f.files.contents[kBak + "k0314081531_07.dat"], attendance(1, 14, 7));
}

TEST(convertAfterDownload, ExistingBackupIsKeptAndTheNewOneTakesTheNextSecond) {
  FakePlatform f;
  f.files.directories.insert(kDir + "downbak");
  f.files.contents[kBak + "k0314081531_07.txt"] = {'o', 'l', 'd'};
  f.files.contents[kDir + "movar.dat"] = attendance(1, 14, 7);
  EXPECT_EQ(convertAfterDownload(f.platform), 0);
  EXPECT_EQ(text(f, kBak + "k0314081531_07.txt"), "old");
  EXPECT_EQ(text(f, kBak + "k0314081532_07.txt"), "00000108:052009031407\r\n");
  EXPECT_EQ(backups(f), (std::vector<std::string>{"k0314081531_07.txt", "k0314081532_07.dat",
                                                  "k0314081532_07.txt"}));
  EXPECT_EQ(f.clock.now(), 2000);  // waited from 1.3 s to the next second in 100 ms steps
}

// A taken name is tried again with each next second's stamp, five stamps in all; then the
// conversion fails (the terminal keeps its records) and says why.
TEST(convertAfterDownload, TakenBackupNamesAreRetriedForFiveStamps) {
  for (int taken : {4, 5}) {
    FakePlatform f;
    f.files.directories.insert(kDir + "downbak");
    std::vector<std::string> expected;
    for (int second = 31; second < 31 + taken; ++second) {
      expected.push_back("k03140815" + std::to_string(second) + "_07.txt");
      f.files.contents[kBak + expected.back()] = {'o', 'l', 'd'};
    }
    f.files.contents[kDir + "movar.dat"] = attendance(1, 14, 7);
    EXPECT_EQ(convertAfterDownload(f.platform), taken == 4 ? 0 : -1);
    // The fifth stamp, 08:15:35, is free only in the first case; the .dat backup comes after.
    if (taken == 4) {
      expected.insert(expected.end(), {"k0314081535_07.dat", "k0314081535_07.txt"});
    } else {
      EXPECT_EQ(lastFailureText(), "cannot back up " + kDir +
                                       "movar.txt: every backup name of the last 5 seconds is taken");
    }
    EXPECT_EQ(backups(f), expected) << taken;
    EXPECT_EQ(text(f, kBak + "k0314081535_07.txt"), taken == 4 ? "00000108:052009031407\r\n" : "old");
  }
}

TEST(convertAfterDownload, StreamsInLargeWrites) {
  FakePlatform f;
  constexpr std::size_t kRecords = 100'000;
  Bytes dat;
  for (std::size_t i = 0; i < kRecords; ++i) {
    const Bytes r = attendance(static_cast<std::uint16_t>(i), 14, static_cast<int>(i % 32));
    dat.insert(dat.end(), r.begin(), r.end());
  }
  f.files.contents[kDir + "movar.dat"] = dat;
  EXPECT_EQ(convertAfterDownload(f.platform), 0);
  std::string expected;
  for (std::size_t i = 0; i < kRecords; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%06zu08:05200903%02d%02zu\r\n", i % 65536, 14, i % 32);
    expected += line;
  }
  EXPECT_TRUE(text(f, kDir + "movar.txt") == expected);  // across every chunk boundary
  EXPECT_LE(f.files.writeCalls, static_cast<int>(kRecords * 23 / (256 * 1024) + 1));
}

Bytes transaction(std::uint8_t type, std::uint16_t machine) {
  return {9, 3, 14, 8, 5, 30, type, 0, 1, 0xE2, 0x40, 0x2B, 0, 0, 7,
          static_cast<std::uint8_t>(machine >> 8), static_cast<std::uint8_t>(machine & 0xFF)};
}

TEST(ConversionExports, AttendanceFileOfTheCallersDirectory) {
  FakePlatform f;
  f.files.directories.insert(kDir + "data");
  f.files.directories.insert(kDir + "data\\downbak");
  f.files.contents[kDir + "data\\downbak\\day1.txt"] = {'o', 'l', 'd'};  // leftover
  f.files.contents[kDir + "data\\day1.dat"] = attendance(1, 0xC5, 2);
  EXPECT_EQ(convertFile(f.platform, (kDir + "data\\").c_str(), "day1"), 0);
  EXPECT_EQ(text(f, kDir + "data\\day1.txt"), "00000108:052009030562\r\n");
  EXPECT_EQ(f.clock.sleeps, (std::vector<Millis>{1000}));  // no initial wait
  EXPECT_EQ(text(f, kDir + "data\\downbak\\k0314081531_62.txt"), "00000108:052009030562\r\n");
  EXPECT_FALSE(f.files.exists(kDir + "data\\downbak\\day1.txt"));
  EXPECT_EQ(f.files.contents.size(), 3u);  // no .dat backup

  FakePlatform missing;
  EXPECT_EQ(convertFile(missing.platform, kDir.c_str(), "none"), 1);
  EXPECT_EQ(missing.ui.messages, std::vector<std::string>(15, "can not open movar.dat!"));
  EXPECT_EQ(missing.clock.now(), 14 * 100);
  EXPECT_TRUE(missing.files.contents.empty());
  EXPECT_FALSE(missing.files.exists(kDir + "downbak"));
}

// A file named like a backup makes its intermediate name an existing backup's: that backup stays.
TEST(ConversionExports, IntermediateNamedLikeABackupIsNeverRemoved) {
  FakePlatform f;
  f.files.directories.insert(kDir + "downbak");
  f.files.contents[kBak + "k0101000000_07.txt"] = {'o', 'l', 'd'};
  f.files.contents[kDir + "k0101000000_07.dat"] = attendance(1, 14, 7);
  EXPECT_EQ(convertFile(f.platform, kDir.c_str(), "k0101000000_07"), 0);
  EXPECT_EQ(text(f, kDir + "k0101000000_07.txt"), "00000108:052009031407\r\n");
  EXPECT_EQ(backups(f), (std::vector<std::string>{"k0101000000_07.txt"}));
  EXPECT_EQ(text(f, kBak + "k0101000000_07.txt"), "old");
}

TEST(ConversionExports, TransactionFileSkipsInvalidRecords) {
  FakePlatform f;
  Bytes dat = join({transaction(3, 1), transaction(5, 2)});
  for (int i = 0; i < 34; ++i) {
    const Bytes r = transaction(4, static_cast<std::uint16_t>(12 + i));
    dat.insert(dat.end(), r.begin(), r.end());
  }
  dat.insert(dat.end(), {1, 2, 3, 4, 5});
  f.files.contents[kDir + "tx.dat"] = dat;
  EXPECT_EQ(convertTransactionFile(f.platform, kDir.c_str(), "tx"), 0);
  const std::string txt = text(f, kDir + "tx.txt");
  ASSERT_EQ(txt.size(), 34u * 49);
  using namespace std::string_literals;
  EXPECT_EQ(txt.substr(0, 49), "4 0000123456 000 +000007 20090314 08:05:30 012\0\r\n"s);
  EXPECT_EQ(f.clock.sleeps, (std::vector<Millis>{300, 1000}));
  EXPECT_EQ(backups(f), (std::vector<std::string>{"k0314081531_12.txt"}));

  FakePlatform none;
  none.files.contents[kDir + "tx.dat"] = join({transaction(3, 9), transaction(3, 9)});
  EXPECT_EQ(convertTransactionFile(none.platform, kDir.c_str(), "tx"), 0);
  EXPECT_EQ(text(none, kDir + "tx.txt"), "");
  EXPECT_EQ(backups(none), (std::vector<std::string>{"k0314081531_00.txt"}));
}

// Refused at once: no box, no wait, nothing written anywhere.
TEST(ConversionExports, BadArgumentsAreRefused) {
  const std::string tooLong = kDir + std::string(240, 'd') + "\\";
  struct Case {
    const char* dir;
    const char* name;
  } cases[] = {
      {nullptr, "day1"},           {kDir.c_str(), nullptr},      {"C:\\host", "day1"},
      {"C:\\nowhere\\", "day1"},   {kDir.c_str(), "..\\day1"},   {kDir.c_str(), "sub/day1"},
      {kDir.c_str(), "D:day1"},    {tooLong.c_str(), "day1"},    {"", "day1"},
  };
  for (const Case& c : cases) {
    FakePlatform f;
    f.files.directories.insert(tooLong.substr(0, tooLong.size() - 1));
    f.files.contents["C:\\day1.dat"] = attendance(1, 14, 7);
    f.files.contents[kDir + "day1.dat"] = attendance(1, 14, 7);
    const auto before = f.files.contents;
    EXPECT_EQ(convertFile(f.platform, c.dir, c.name), 1) << (c.dir ? c.dir : "null");
    EXPECT_EQ(convertTransactionFile(f.platform, c.dir, c.name), 1);
    EXPECT_EQ(f.files.contents, before);
    EXPECT_TRUE(f.ui.messages.empty());
    EXPECT_TRUE(f.clock.sleeps.empty());
  }
}

}  // namespace
}  // namespace movar::records
