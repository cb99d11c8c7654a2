#include <gtest/gtest.h>

#include <algorithm>

#include "download/lan_download.h"
#include "download/serial_download.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/net_link.h"

namespace movar::download {
namespace {

using fake::FakePlatform;
using sim::BlockFault;

Bytes flowRecords(std::uint32_t count) { return sim::RecordMemory::records(0, count); }

const std::string kDat = "C:\\host\\movar.dat";
const std::string kTxt = "C:\\host\\movar.txt";

std::vector<std::string> events(const FakePlatform& f) {
  std::vector<std::string> out;
  for (const auto& e : f.ui.windowEvents) out.push_back(e.what);
  return out;
}

Millis eventTime(const FakePlatform& f, const std::string& what) {
  for (const auto& e : f.ui.windowEvents)
    if (e.what == what) return e.at;
  return -1;
}

bool hasBackups(const FakePlatform& f) {
  int found = 0;
  for (const auto& [path, bytes] : f.files.contents)
    if (path.rfind("C:\\host\\downbak\\k", 0) == 0) ++found;
  return found == 2;
}

struct SerialSetup {
  FakePlatform f;
  fake::SimTerminal t{{.address = 7}};
  explicit SerialSetup(std::uint32_t n, std::vector<BlockFault> faults = {}) {
    t.memory.fill(n);
    t.memory.script(std::move(faults));
    t.on(f.serial, 2);
  }
  std::vector<std::uint8_t> commands() const { return t.terminal.commands(); }
};

TEST(SerialDownload, GoodTransferWritesFilesDrivesTheWindowAndErases) {
  SerialSetup s(100);
  EXPECT_EQ(serialDownload(s.f.platform, 0x107, 2), 0);
  EXPECT_EQ(s.f.files.contents[kDat], flowRecords(100));
  EXPECT_EQ(s.f.files.contents[kTxt].size(), 100u * 23);
  EXPECT_TRUE(hasBackups(s.f));
  EXPECT_EQ(s.commands(), (std::vector<std::uint8_t>{0x01, 0x0D}));
  EXPECT_EQ(events(s.f), (std::vector<std::string>{"show serial", "repaint", "position 28",
                                                  "position 56", "position 84", "position 100",
                                                  "destroy"}));
  EXPECT_EQ(s.f.ui.openWindows, 0);
  EXPECT_EQ(s.f.serial.openLines, 0);
  EXPECT_EQ(s.f.files.openFiles, 0);
  // The port closes between two 1 s pauses; the window goes before the conversion starts.
  const auto& sleeps = s.f.clock.sleeps;
  const std::vector<Millis> closing{1000, 1000, 300};
  const auto at = std::search(sleeps.begin(), sleeps.end(), closing.begin(), closing.end());
  EXPECT_NE(at, sleeps.end()) << ::testing::PrintToString(sleeps);
}

TEST(SerialDownload, NoTerminalPausesAndFails) {
  FakePlatform f;
  f.serial.attachSilent(1);
  EXPECT_EQ(serialDownload(f.platform, 7, 1), 1);
  EXPECT_EQ(f.serial.opens.size(), 9u);
  EXPECT_EQ(events(f), (std::vector<std::string>{"show serial", "repaint", "destroy"}));
  EXPECT_TRUE(f.files.contents[kDat].empty());
}

TEST(SerialDownload, RecordFileNotCreatedShowsTheMessageAndOpensNoPort) {
  SerialSetup s(28);
  s.f.files.locked.insert(kDat);
  EXPECT_EQ(serialDownload(s.f.platform, 7, 2), 1);
  ASSERT_FALSE(s.f.ui.messages.empty());
  EXPECT_EQ(s.f.ui.messages.front(), "can not creat movar.dat!");
  EXPECT_TRUE(s.f.serial.opens.empty());
  EXPECT_EQ(s.f.ui.openWindows, 0);
}

TEST(SerialDownload, ConversionFailureAfterAGoodTransferKeepsTheRecords) {
  SerialSetup s(28);
  s.f.files.locked.insert(kTxt);
  EXPECT_EQ(serialDownload(s.f.platform, 7, 2), 0);
  EXPECT_EQ(s.commands(), std::vector<std::uint8_t>{0x01});
}

// Blocks that do not add up to the announced count (a record too many, a partial record) pass
// every block check; the records stay in the file and are converted, but the terminal keeps them.
TEST(SerialDownload, PayloadOtherThanTheAnnouncedRecordsIsAFailureWithoutErase) {
  for (const int extra : {6, 1}) {  // two records announced, 18 or 13 bytes sent
    SerialSetup s(2, {{.block = 1, .kind = BlockFault::Kind::LongPayload, .extra = extra}});
    Bytes payload = flowRecords(2);
    payload.resize(payload.size() + static_cast<std::size_t>(extra));
    EXPECT_EQ(serialDownload(s.f.platform, 7, 2), 1) << extra;
    EXPECT_EQ(s.f.files.contents[kDat], payload);
    EXPECT_EQ(s.f.files.contents[kTxt].size(), payload.size() / 6 * 23);
    EXPECT_EQ(s.commands(), std::vector<std::uint8_t>{0x01}) << extra;
  }
}

TEST(SerialDownload, CountZeroConvertsAndErases) {
  SerialSetup s(0);
  EXPECT_EQ(serialDownload(s.f.platform, 7, 2), 0);
  EXPECT_TRUE(s.f.files.contents[kDat].empty());
  EXPECT_TRUE(s.f.files.contents.count(kTxt));
  EXPECT_EQ(s.commands(), (std::vector<std::uint8_t>{0x01, 0x0D}));
  EXPECT_EQ(events(s.f), (std::vector<std::string>{"show serial", "repaint", "destroy"}));
}

struct LanSetup {
  FakePlatform f;
  fake::SimTerminal t;
  explicit LanSetup(std::uint32_t n, std::vector<BlockFault> faults = {},
                    sim::TerminalConfig config = {}, const std::string& ip = "10.0.0.7")
      : t(std::move(config)) {
    t.memory.fill(n);
    t.memory.script(std::move(faults));
    t.on(f.network, ip);
  }
  std::vector<std::uint8_t> commands() const { return t.terminal.commands(); }
  Bytes preamble(std::size_t connection) const {
    std::size_t seen = 0;
    for (const auto& s : f.network.sends)
      if (s.bytes.size() == 14 && seen++ == connection) return s.bytes;
    return {};
  }
};

Bytes tail4(const Bytes& b) { return b.size() < 4 ? b : Bytes(b.end() - 4, b.end()); }

TEST(LanDownload, GoodTransferWindowTextsPausesAndErase) {
  LanSetup s(56);
  EXPECT_EQ(lanDownload(s.f.platform, "10.0.0.7"), 0);
  EXPECT_EQ(s.f.files.contents[kDat], flowRecords(56));
  EXPECT_EQ(s.f.files.contents[kTxt].size(), 56u * 23);
  EXPECT_TRUE(hasBackups(s.f));
  EXPECT_EQ(tail4(s.preamble(0)), (Bytes{0xFA, 0x05, 0x01, 0xFE}));
  EXPECT_EQ(tail4(s.preamble(1)), (Bytes{0xFA, 0x05, 0x0D, 0xF2}));
  EXPECT_EQ(s.commands(), (std::vector<std::uint8_t>{0x01, 0x0D}));
  EXPECT_EQ(events(s.f), (std::vector<std::string>{"show lan", "repaint",
                                                  "text connect 10.0.0.7 success", "repaint",
                                                  "position 50", "repaint", "position 100",
                                                  "repaint", "destroy"}));
  // 20 ms between the acknowledgement and the start request.
  const auto& sends = s.f.network.sends;
  ASSERT_GE(sends.size(), 2u);
  EXPECT_EQ(sends[1].bytes, Bytes{0x15});
  EXPECT_EQ(sends[1].at - sends[0].at, 20);
  EXPECT_NE(std::find(s.f.clock.sleeps.begin(), s.f.clock.sleeps.end(), 2'000), s.f.clock.sleeps.end());
  EXPECT_EQ(s.f.network.openStreams, 0);
  EXPECT_EQ(s.f.files.openFiles, 0);
}

TEST(LanDownload, AcknowledgementIsTakenUntilTheReceiveLimitAndNoLonger) {
  for (Millis delay : {link::kDefaultReceiveLimit, link::kDefaultReceiveLimit + 1}) {
    LanSetup s(28, {}, {.ackDelay = sim::Millis{delay}});
    EXPECT_EQ(lanDownload(s.f.platform, "10.0.0.7"), delay == link::kDefaultReceiveLimit ? 0 : 1);
  }
}

TEST(LanDownload, ConnectFailuresShowTheirTextAndPauseOnlyAfterASocket) {
  for (auto [error, text, pause] : {std::tuple{ConnectError::Connect, "connect fail", true},
                                    std::tuple{ConnectError::Socket, "Error:creat socket fail!", false},
                                    std::tuple{ConnectError::LibraryStart, "Winsock error", false}}) {
    FakePlatform f;
    f.network.failWith = error;
    EXPECT_EQ(lanDownload(f.platform, "10.0.0.9"), 1);
    EXPECT_EQ(events(f), (std::vector<std::string>{"show lan", "repaint", std::string("text ") + text,
                                                  "repaint", "destroy"}));
    EXPECT_EQ(eventTime(f, "destroy") - eventTime(f, std::string("text ") + text), 50);
    EXPECT_EQ(f.clock.now(), pause ? 50 + 2'000 : 50) << text;
    EXPECT_FALSE(f.files.contents.count(kDat));
  }
}

TEST(LanDownload, RefusedPreambleOrUncreatableFile) {
  LanSetup refused(28, {}, {.ack = 0x15});
  EXPECT_EQ(lanDownload(refused.f.platform, "10.0.0.7"), 1);
  EXPECT_EQ(refused.f.network.sends.size(), 1u);  // the preamble only

  LanSetup locked(28);
  locked.f.files.locked.insert(kDat);
  EXPECT_EQ(lanDownload(locked.f.platform, "10.0.0.7"), 1);
  EXPECT_EQ(locked.f.ui.messages, std::vector<std::string>{"can not creat movar.dat!"});
  EXPECT_TRUE(locked.f.network.sends.empty());
}

TEST(LanManyDownload, NumberedFileNumberedConversionAndErase) {
  LanSetup s(30);
  EXPECT_EQ(lanManyDownload(s.f.platform, "10.0.0.7", 12), 0);
  EXPECT_EQ(s.f.files.contents["C:\\host\\movar12.dat"], flowRecords(30));
  EXPECT_EQ(s.f.files.contents["C:\\host\\movar12.txt"].size(), 30u * 23);
  EXPECT_FALSE(s.f.files.contents.count(kDat));
  EXPECT_EQ(s.commands(), (std::vector<std::uint8_t>{0x01, 0x0D}));
  const auto& sends = s.f.network.sends;
  EXPECT_EQ(sends[1].at, sends[0].at);  // no pause before the start request
  // 1 s after closing, on every path.
  EXPECT_NE(std::find(s.f.clock.sleeps.begin(), s.f.clock.sleeps.end(), 1'000), s.f.clock.sleeps.end());
  FakePlatform none;
  none.network.failWith = ConnectError::Socket;
  EXPECT_EQ(lanManyDownload(none.platform, "10.0.0.7", 12), 1);
  EXPECT_EQ(none.clock.now(), 50 + 1'000);
}

TEST(LanManyDownload, FailedNumberedConversionDoesNotErase) {
  LanSetup s(30);
  s.f.files.locked.insert("C:\\host\\movar12.txt");
  EXPECT_EQ(lanManyDownload(s.f.platform, "10.0.0.7", 12), 0);
  EXPECT_EQ(s.commands(), std::vector<std::uint8_t>{0x01});
}

TEST(LanDownloadAddressed, CallersAddressAndMachineFromTheAddressText) {
  LanSetup zero(28, {}, {.address = 0x00}, "10.0.0.3");
  EXPECT_EQ(lanDownloadAddressed(zero.f.platform, "10.0.0.3", 0x100), 0);
  EXPECT_EQ(tail4(zero.preamble(0)), (Bytes{0x00, 0xFF, 0x01, 0xFE}));
  const Bytes& text = zero.f.files.contents[kTxt];
  ASSERT_EQ(text.size(), 28u * 23);
  for (std::size_t line = 0; line < 28; ++line) {
    EXPECT_EQ(std::string(text.begin() + line * 23 + 19, text.begin() + line * 23 + 21), "03");
  }
  EXPECT_EQ(zero.commands(), (std::vector<std::uint8_t>{0x01, 0x0D}));

  LanSetup full(28, {}, {.address = 0xFF}, "10.0.0.9");
  EXPECT_EQ(lanDownloadAddressed(full.f.platform, "10.0.0.9", 255), 0);
  EXPECT_EQ(tail4(full.preamble(0)), (Bytes{0xFF, 0x00, 0x01, 0xFE}));
}

TEST(LanDownloadAddressed, MachineNumberRule) {
  EXPECT_EQ(machineFromAddressText("192.168.1.7"), 7);
  EXPECT_EQ(machineFromAddressText("192.168.1.25"), 25);
  EXPECT_EQ(machineFromAddressText("192.168.1.125"), 25);
  EXPECT_EQ(machineFromAddressText("192.168.1.103"), 3);
  EXPECT_EQ(machineFromAddressText(""), 0);
  EXPECT_EQ(machineFromAddressText(nullptr), 0);
  EXPECT_EQ(machineFromAddressText("4"), 4);
}

}  // namespace
}  // namespace movar::download
