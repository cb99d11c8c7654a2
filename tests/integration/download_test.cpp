// Downloads through the library, as a host calls them, against the simulated terminal on a pty
// and on its own loopback address.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <filesystem>

#include "host_runner.h"
#include "link/handshake.h"
#include "link/net_link.h"
#include "live_records.h"
#include "record_memory.h"
#include "sim_fixture.h"
#include "tcp_listener.h"
#include "time_bounds.h"

namespace movar::itest {
namespace {

namespace fs = std::filesystem;
using sim::BlockFault;
using sim::RecordMemory;

std::vector<std::string> backups(const TempDir& dir) {
  std::vector<std::string> names;
  const fs::path downbak = dir.path() / "downbak";
  if (!fs::is_directory(downbak)) return names;
  for (const auto& entry : fs::directory_iterator(downbak)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// What follows the stamps of the backups, sorted: the two copies may be a second apart, since
// their stamps are taken one after the other.
std::vector<std::string> backupSuffixes(const TempDir& dir) {
  std::vector<std::string> suffixes;
  for (const std::string& name : backups(dir)) suffixes.push_back(name.substr(11));
  std::sort(suffixes.begin(), suffixes.end());
  return suffixes;
}

// movar.txt of records 0..n-1 as the simulator makes them, machine number from the record.
void expectConverted(const TempDir& dir, const std::string& stem, std::uint32_t n) {
  const std::string text = readFile(dir.path() / (stem + ".txt"));
  ASSERT_EQ(text.size(), std::size_t{n} * 23) << stem;
  if (n > 0) {
    EXPECT_EQ(text.substr(0, 23), "00000000:002009010100\r\n");
  }
  EXPECT_EQ(backupSuffixes(dir), (std::vector<std::string>{"_00.dat", "_00.txt"}));
}

// _LANDELETE does not wait for the terminal, so the erase may land just after the host returns.
bool erasedWithin(const RecordMemory& memory, std::chrono::milliseconds limit = std::chrono::seconds(2)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (memory.count() != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return memory.count() == 0;
}

struct SerialTerminal {
  SimPort port;
  RecordMemory& memory;
  explicit SerialTerminal(std::uint32_t records, int com = 1)
      : port(SimPort::on(com, {.address = 4, .speeds = {57600}})),
        memory(port.terminal->part<RecordMemory>()) {
    memory.fill(records);
  }
};

class SerialDownloadThroughLibrary : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  void SetUp() override { unmapAllPorts(); }
};

// The terminal is ready for the next command as soon as the download is over, also after an
// empty one: the erase that follows is answered at once.
TEST_P(SerialDownloadThroughLibrary, AllRecordsConvertedBackedUpAndErased) {
  const std::uint32_t n = GetParam();
  SerialTerminal terminal(n, 2);
  TempDir dir;
  const HostRun run = runHost(dir.path(), {"_DOWNLOAD", "i:4", "i:1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.result(), 0);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, n)));
  expectConverted(dir, "movar", n);
  EXPECT_EQ(terminal.memory.count(), 0u);
  EXPECT_EQ(terminal.memory.erasures(), 1);
  EXPECT_EQ(terminal.memory.downloadsServed(), 1);
  if (n == 0) {
    // The pauses around the close, the conversion and the backups (3.36 s) and an erase found
    // at once; a missed attempt waits 3 s.
    EXPECT_LT(run.seconds(), 3.4 + hostAllowance(0.6));
  }
  EXPECT_EQ(runHost(dir.path(), {"_TESTCOM", "i:4", "i:1"}).result(), 2);
}

INSTANTIATE_TEST_SUITE_P(Records, SerialDownloadThroughLibrary, ::testing::Values(0u, 1u, 28u, 1000u, 70000u));

TEST(SerialDownloadFailure, WrongTransferSumKeepsTheTerminalsRecords) {
  unmapAllPorts();
  SerialTerminal terminal(100);
  terminal.memory.script({{.block = 5, .kind = BlockFault::Kind::WrongSum}});
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_DOWNLOAD", "i:4", "i:1"}).result(), 1);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 100)));
  EXPECT_EQ(readFile(dir.path() / "movar.txt").size(), 100u * 23);  // converted all the same
  EXPECT_EQ(terminal.memory.count(), 100u);
  EXPECT_EQ(terminal.memory.erasures(), 0);
}

// The host leaves the terminal waiting for the answer to its end block; a few quiet seconds
// later the terminal takes commands again.
TEST(SerialDownloadFailure, OnePauseOverTwoSecondsFailsAndKeepsTheRecords) {
  unmapAllPorts();
  SerialTerminal terminal(140);
  terminal.memory.script({{.block = 3, .kind = BlockFault::Kind::Stall, .stall = sim::Millis{2'500}}});
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_DOWNLOAD", "i:4", "i:1"}).result(), 1);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 140)));
  EXPECT_EQ(terminal.memory.count(), 140u);
  EXPECT_EQ(terminal.memory.downloadsServed(), 0);  // the end block was never answered
  std::this_thread::sleep_for(sim::kLineSilenceReset + std::chrono::milliseconds(100));
  EXPECT_EQ(runHost(dir.path(), {"_TESTCOM", "i:4", "i:1"}).result(), 1);
}

TEST(SerialDownloadFailure, DamagedAndRepeatedBlocksAreMendedOnTheLine) {
  unmapAllPorts();
  SerialTerminal terminal(200);
  terminal.memory.script({{.block = 2, .kind = BlockFault::Kind::DamagedCheck},
                          {.block = 4, .kind = BlockFault::Kind::RepeatAfterAck},
                          {.block = 6, .kind = BlockFault::Kind::WrongNumber}});
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_DOWNLOAD", "i:4", "i:1"}).result(), 0);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 200)));
  EXPECT_EQ(terminal.memory.count(), 0u);
}

TEST(MemoryCommandsThroughLibrary, SerialEraseAndRestore) {
  unmapAllPorts();
  SerialTerminal terminal(10, 3);
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_DELETE", "i:4", "i:3"}).result(), 0);
  EXPECT_EQ(terminal.memory.count(), 0u);
  EXPECT_EQ(runHost(dir.path(), {"_RESTOREALL", "i:4", "i:3"}).result(), 0);
  EXPECT_EQ(terminal.memory.count(), 10u);
  EXPECT_EQ(runHost(dir.path(), {"_RESTORE", "i:4", "i:3"}).result(), 0);
  EXPECT_EQ(terminal.port.terminal->commands(), (std::vector<std::uint8_t>{0x0D, 0x0F, 0x0C}));
}

struct NetTerminal {
  SimNet net;
  sim::Terminal& terminal;
  RecordMemory& memory;
  explicit NetTerminal(std::uint32_t records, std::uint8_t address = 1)
      : net({.address = address}), terminal(net.terminal), memory(terminal.part<RecordMemory>()) {
    memory.fill(records);
  }
  std::string arg() const { return "s:" + net.ip(); }  // the address as the host passes it
};

class LanDownloadThroughLibrary : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(LanDownloadThroughLibrary, AllRecordsConvertedBackedUpAndErased) {
  const std::uint32_t n = GetParam();
  NetTerminal terminal(n);
  TempDir dir;
  const HostRun run = runHost(dir.path(), {"_LANDOWNLOAD", terminal.arg()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.result(), 0);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, n)));
  expectConverted(dir, "movar", n);
  EXPECT_TRUE(erasedWithin(terminal.memory));
  EXPECT_EQ(terminal.memory.downloadsServed(), 1);
  // The next command is answered: a record taken meanwhile is collected.
  sim::LiveRecords& live = terminal.terminal.part<sim::LiveRecords>();
  live.push(RecordMemory::record(7));
  EXPECT_NE(runHost(dir.path(), {"_LANREALDOWNLOAD", terminal.arg()}).text(), std::string(20, '0'));
  EXPECT_EQ(live.waiting(), 0u);
  EXPECT_EQ(terminal.terminal.commands(), (std::vector<std::uint8_t>{0x01, 0x0D, 0x17}));
}

INSTANTIATE_TEST_SUITE_P(Records, LanDownloadThroughLibrary, ::testing::Values(0u, 1u, 28u, 1000u, 70000u));

TEST(LanDownloadFailure, ClosedMidTransferKeepsWhatCameAndNeverErases) {
  NetTerminal terminal(300);
  terminal.memory.script({{.block = 4, .kind = BlockFault::Kind::CloseConnection}});
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_LANDOWNLOAD", terminal.arg()}).result(), 1);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 3 * 28)));
  EXPECT_FALSE(fs::exists(dir.path() / "movar.txt"));
  EXPECT_EQ(terminal.memory.count(), 300u);
}

TEST(LanDownloadFailure, SilentTerminalFailsWithinTheReceiveLimit) {
  NetTerminal terminal(100);
  terminal.memory.script({{.block = 2, .kind = BlockFault::Kind::Silence}});
  TempDir dir;
  const HostRun run = runHost(dir.path(), {"_LANDOWNLOAD", terminal.arg()});
  EXPECT_EQ(run.result(), 1);
  EXPECT_GT(run.seconds(), 10.0);
  EXPECT_LT(run.seconds(), 12.0 + hostAllowance(1.0));  // 10 s limit + the 2 s closing pause
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 28)));
  EXPECT_EQ(terminal.memory.count(), 100u);
}

// A host that falls quiet in the middle of a transfer, its connection still open: a few seconds
// later the terminal takes a new command on it.
TEST(LanDownloadFailure, AbandonedTransferIsOverAfterAQuietSpell) {
  NetTerminal terminal(100);
  link::NetLink net = link::NetLink::open(processPlatform(), terminal.net.ip().c_str());
  ASSERT_TRUE(net.sendPreamble(link::kLanAddress, 0x01) && net.awaitAck());
  net.sendByte(0x15);
  ASSERT_TRUE(net.receiveFrame(8));  // the header, never answered
  std::this_thread::sleep_for(sim::kLineSilenceReset + std::chrono::milliseconds(100));
  ASSERT_TRUE(net.sendPreamble(link::kLanAddress, 0x0D));
  EXPECT_TRUE(net.awaitAck(1'000));
  EXPECT_TRUE(erasedWithin(terminal.memory));
}

TEST(LanDownloadFailure, TooManyBytesOrFiveBadChecks) {
  NetTerminal terminal(100);
  terminal.memory.script({{.block = 2, .kind = BlockFault::Kind::ExtraBytes, .extra = 5}});
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_LANDOWNLOAD", terminal.arg()}).result(), 1);
  EXPECT_EQ(terminal.memory.count(), 100u);
  terminal.memory.script({{.block = 3, .kind = BlockFault::Kind::DamagedCheck, .times = 5}});
  EXPECT_EQ(runHost(dir.path(), {"_LANDOWNLOAD", terminal.arg()}).result(), 0);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 100)));
  EXPECT_TRUE(erasedWithin(terminal.memory));
}

TEST(LanManyDownloadThroughLibrary, NumberedFilesAndErase) {
  NetTerminal terminal(60);
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_LANMANYDOWNLOAD", terminal.arg(), "i:12"}).result(), 0);
  EXPECT_EQ(readFile(dir.path() / "movar12.dat"), asText(RecordMemory::records(0, 60)));
  EXPECT_EQ(readFile(dir.path() / "movar12.txt").size(), 60u * 23);
  EXPECT_FALSE(fs::exists(dir.path() / "movar.dat"));
  EXPECT_TRUE(erasedWithin(terminal.memory));
}

// Downloads of eight terminals at once, each to its own numbered file: every backup must be
// there once, holding its own terminal's records (they once shared one intermediate file).
TEST(LanManyDownloadThroughLibrary, EightAtOnceKeepEveryBackupApart) {
  constexpr int kTerminals = 8;
  std::vector<std::unique_ptr<NetTerminal>> terminals;
  std::vector<sim::Bytes> stored;
  std::vector<std::string> args;
  for (int k = 0; k < kTerminals; ++k) {
    terminals.push_back(std::make_unique<NetTerminal>(0));
    sim::Bytes records = RecordMemory::records(0, 40 + 7 * static_cast<std::uint32_t>(k));
    for (std::size_t r = 0; r < records.size(); r += 6) {  // machine number k + 1 in every record
      const unsigned machine = static_cast<unsigned>(k) + 1;
      records[r + 4] = static_cast<std::uint8_t>((machine >> 2) << 5 | (records[r + 4] & 0x1F));
      records[r + 5] = static_cast<std::uint8_t>((machine & 3) << 6 | (records[r + 5] & 0x3F));
    }
    terminals.back()->memory.load(records);
    stored.push_back(records);
    if (k > 0) args.push_back("+");
    args.insert(args.end(), {"_LANMANYDOWNLOAD", terminals.back()->arg(), "i:" + std::to_string(k)});
  }
  TempDir dir;
  const HostRun run = runHost(dir.path(), args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.results(), std::vector<int>(kTerminals, 0));
  const auto names = backups(dir);
  EXPECT_EQ(names.size(), 2u * kTerminals) << ::testing::PrintToString(names);
  for (int k = 0; k < kTerminals; ++k) {
    const std::string stem = "movar" + std::to_string(k);
    EXPECT_EQ(readFile(dir.path() / (stem + ".dat")), asText(stored[k])) << stem;
    const std::string nn = "_0" + std::to_string(k + 1);
    for (const char* extension : {".dat", ".txt"}) {
      const auto mine = std::count_if(names.begin(), names.end(), [&](const std::string& name) {
        return name.size() == 18 && name.substr(11) == nn + extension;
      });
      ASSERT_EQ(mine, 1) << stem << extension;
      const auto name = *std::find_if(names.begin(), names.end(), [&](const std::string& n) {
        return n.substr(11) == nn + extension;
      });
      EXPECT_EQ(readFile(dir.path() / "downbak" / name),
                readFile(dir.path() / (stem + extension)))
          << name;
    }
  }
}

TEST(LanDownloadAddrThroughLibrary, CallersAddressAndMachineNumberFromTheAddressText) {
  NetTerminal terminal(30, /*address=*/0);
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_LANDOWNLOADADDR", terminal.arg(), "i:0"}).result(), 0);
  const sim::Bytes received = terminal.terminal.receivedBytes();
  ASSERT_GE(received.size(), 14u);
  EXPECT_EQ(sim::Bytes(received.begin() + 10, received.begin() + 14), (sim::Bytes{0x00, 0xFF, 0x01, 0xFE}));
  // The last two characters of the address text, or its last digit after a dot.
  const std::string& ip = terminal.net.ip();
  const std::string tail = ip.substr(ip.size() - 2);
  const std::string machine = tail[0] == '.' ? std::string(1, '0') + tail[1] : tail;
  const std::string text = readFile(dir.path() / "movar.txt");
  ASSERT_EQ(text.size(), 30u * 23);
  for (std::size_t line = 0; line < 30; ++line) EXPECT_EQ(text.substr(line * 23 + 19, 4), machine + "\r\n");
  EXPECT_EQ(backupSuffixes(dir), (std::vector<std::string>{"_" + machine + ".dat", "_" + machine + ".txt"}));
  EXPECT_TRUE(erasedWithin(terminal.memory));  // erased at 0xFA over TCP
}

TEST(MemoryCommandsThroughLibrary, LanEraseAndRestoreAll) {
  NetTerminal terminal(10);
  TempDir dir;
  EXPECT_EQ(runHost(dir.path(), {"_LANDELETE", terminal.arg()}).result(), 0);
  EXPECT_TRUE(erasedWithin(terminal.memory));
  EXPECT_EQ(runHost(dir.path(), {"_LANRESTOREALL", terminal.arg()}).result(), 0);
  EXPECT_EQ(terminal.memory.count(), 10u);
  const NobodyThere nobody;
  EXPECT_EQ(runHost(dir.path(), {"_LANDELETE", "s:" + nobody.ip()}).result(), 1);
  EXPECT_EQ(runHost(dir.path(), {"_LANRESTOREALL", "s:" + nobody.ip()}).result(), 1);
}

}  // namespace
}  // namespace movar::itest
