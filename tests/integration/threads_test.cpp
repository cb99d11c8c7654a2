// Independent exports of every family from eight threads of one host at once, each with its own
// terminal: every result and every file is the one that call alone would give.
#include <gtest/gtest.h>

#include <thread>

#include "exports/movar.h"

#include "backup_device.h"
#include "fingerprint_unit.h"
#include "host_runner.h"
#include "live_records.h"
#include "record_memory.h"
#include "sim_fixture.h"
#include "terminal_settings.h"

namespace movar::itest {
namespace {

using sim::RecordMemory;
using sim::TerminalSettings;

TEST(Threads, EightFamiliesAtOnceKeepTheirResultsAndFilesApart) {
  unmapAllPorts();
  std::vector<std::unique_ptr<SimNet>> downloads;
  std::vector<std::string> args;
  for (std::uint32_t k = 0; k < 3; ++k) {
    downloads.push_back(std::make_unique<SimNet>(sim::TerminalConfig{.address = 1}));
    downloads.back()->terminal.part<RecordMemory>().load(RecordMemory::records(k * 1000, 200 + k * 50));
    args.insert(args.end(), {"_LANMANYDOWNLOAD", "s:" + downloads.back()->ip(), "i:" + std::to_string(k), "+"});
  }
  SimNet doors, live;
  live.terminal.part<sim::LiveRecords>().push({0x01, 0x2C, 0x93, 0x05, 0x28, 0xC7});
  auto fingerprints = SimPort::on(1, {.address = 1, .speeds = {57600}});
  fingerprints.terminal->part<sim::FingerprintUnit>().store(300, 2, 2, sim::makeTemplate(300, 2, 2));
  auto backup = SimPort::on(2, {.address = 3});
  const sim::Bytes data(2600, 0x5A);
  backup.terminal->part<sim::BackupDevice>().script({.openFlags = 0x05, .data = data});
  auto clock = SimPort::on(3, {.address = 4, .speeds = {57600}});
  args.insert(args.end(), {"_LANSETOPENTIME", "s:" + doors.ip(), "i:7", "+",
                           "_LANREALDOWNLOAD", "s:" + live.ip(), "+",
                           "_GETIDLIST", "i:1", "i:1", "+",
                           "_RXZWFILE", "i:2", "+",
                           "_SETLOCKNUM", "i:4", "i:3", "i:258"});

  TempDir dir;
  const HostRun run = runHost(dir.path(), args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.results(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(run.text(), "00030020090305080707");
  for (std::uint32_t k = 0; k < 3; ++k) {
    const std::string stem = "movar" + std::to_string(k);
    EXPECT_EQ(readFile(dir.path() / (stem + ".dat")), asText(RecordMemory::records(k * 1000, 200 + k * 50)));
    EXPECT_EQ(readFile(dir.path() / (stem + ".txt")).size(), (200u + k * 50) * 23);
  }
  EXPECT_EQ(doors.terminal.part<TerminalSettings>().state().lastBlock[0x14], sim::Bytes{7});
  EXPECT_EQ(readFile(dir.path() / "FINGERREC" / "IDLIST.TXT"), "0003000202\r\n");
  sim::Bytes marked = data;
  marked[0] = 0x01, marked[1] = 0x36, marked[2] = 0x02;
  EXPECT_EQ(readFile(dir.path() / "zwbak.txt"), asText(marked));
  EXPECT_EQ(clock.terminal->part<TerminalSettings>().state().lockNumber, 258);
}

// Each thread's files go where it chose, side by side; a thread that chose nothing, or went back
// to the default, writes into $MOVAR_RECORD_DIR.
TEST(Threads, EachThreadWritesIntoItsOwnRecordDirectory) {
  TempDir chosen[2], environment;
  ::setenv("MOVAR_RECORD_DIR", environment.path().c_str(), 1);
  std::vector<std::unique_ptr<SimNet>> nets;
  std::vector<std::thread> threads;
  std::int32_t results[3] = {-1, -1, -1};
  for (std::uint32_t k = 0; k < 3; ++k) {
    nets.push_back(std::make_unique<SimNet>(sim::TerminalConfig{.address = 1}));
    nets.back()->terminal.part<RecordMemory>().load(RecordMemory::records(k * 100, 10 + k));
  }
  for (int k = 0; k < 3; ++k) {
    threads.emplace_back([&, k] {
      // Without the trailing separator; the third thread goes back to the default.
      movar_set_record_directory(chosen[k % 2].path().c_str());
      if (k == 2) movar_set_record_directory("");
      results[k] = _LANMANYDOWNLOAD(nets[k]->ip().c_str(), k);
    });
  }
  for (std::thread& t : threads) t.join();
  ::unsetenv("MOVAR_RECORD_DIR");
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(results[2], 0);
  const std::filesystem::path where[3] = {chosen[0].path(), chosen[1].path(), environment.path()};
  for (std::uint32_t k = 0; k < 3; ++k) {
    const std::string stem = "movar" + std::to_string(k);
    EXPECT_EQ(readFile(where[k] / (stem + ".dat")), asText(RecordMemory::records(k * 100, 10 + k)));
    EXPECT_EQ(readFile(where[k] / (stem + ".txt")).size(), (10u + k) * 23);
    EXPECT_TRUE(std::filesystem::is_directory(where[k] / "downbak"));
  }
  EXPECT_FALSE(std::filesystem::exists(chosen[0].path() / "movar1.dat"));
}

}  // namespace
}  // namespace movar::itest
