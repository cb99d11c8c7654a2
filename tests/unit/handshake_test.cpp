#include <gtest/gtest.h>

#include "download/memory_commands.h"
#include "download/serial_download.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/handshake.h"
#include "link/serial_port.h"

namespace movar {
namespace {

using fake::FakePlatform;
using fake::SimTerminal;

Bytes preambleBytes(std::uint8_t address, std::uint8_t command) {
  Bytes b{'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S'};
  b.insert(b.end(), {address, static_cast<std::uint8_t>(0xFF - address), command,
                     static_cast<std::uint8_t>(0xFF - command)});
  return b;
}

struct Attempt {
  int port;
  int baud;
  bool operator==(const Attempt&) const = default;
};

std::vector<Attempt> attempts(const FakePlatform& f) {
  std::vector<Attempt> out;
  for (const auto& open : f.serial.opens) out.push_back({open.port, open.settings.baud});
  return out;
}

void silentPorts(FakePlatform& f, std::initializer_list<int> ports) {
  for (int p : ports) f.serial.attachSilent(p);
}

TEST(CommandPreamble, HeaderAddressCommandAndComplements) {
  EXPECT_EQ(link::commandPreamble(0xFA, 0x0D), preambleBytes(0xFA, 0x0D));
  const Bytes p = link::commandPreamble(0x00, 0xFF);
  EXPECT_EQ(p.size(), 14u);
  EXPECT_EQ(p[10], 0x00);
  EXPECT_EQ(p[11], 0xFF);
  EXPECT_EQ(p[12], 0xFF);
  EXPECT_EQ(p[13], 0x00);
}

TEST(CommandPreamble, SerialGoesOutAsFiveWritesWithoutPause) {
  FakePlatform f;
  silentPorts(f, {1});
  auto line = link::openPort(f.platform, 1, link::OpenRoutine::Serial);
  const Millis before = f.clock.now();
  link::writePreamble(f.clock, *line, 0x12, 0x01);
  ASSERT_EQ(f.serial.writes.size(), 5u);
  const Bytes expected = preambleBytes(0x12, 0x01);
  EXPECT_EQ(f.serial.writes[0].bytes, Bytes(expected.begin(), expected.begin() + 10));
  EXPECT_EQ(f.serial.writes[1].bytes, Bytes{0x12});
  EXPECT_EQ(f.serial.writes[2].bytes, Bytes{0xED});
  EXPECT_EQ(f.serial.writes[3].bytes, Bytes{0x01});
  EXPECT_EQ(f.serial.writes[4].bytes, Bytes{0xFE});
  for (const auto& w : f.serial.writes) EXPECT_EQ(w.at, before);
}

TEST(CommandPreamble, ModemPausesTenMillisecondsAfterHeader) {
  FakePlatform f;
  silentPorts(f, {1});
  auto line = link::openPort(f.platform, 1, link::OpenRoutine::Modem);
  link::writePreamble(f.clock, *line, 1, 1, 10);
  EXPECT_EQ(f.serial.writes[1].at - f.serial.writes[0].at, 10);
}

TEST(DataBlock, FrameAndChecksum) {
  EXPECT_EQ(link::dataBlock({0x42}), (Bytes{0x15, 0x01, 0x01, 0xFE, 0x42, 0x42}));
  EXPECT_EQ(link::dataBlock({0xFF, 0x02, 0x10}), (Bytes{0x15, 0x01, 0x03, 0xFC, 0xFF, 0x02, 0x10, 0x11}));
  EXPECT_EQ(link::dataBlock({}), (Bytes{0x15, 0x01, 0x00, 0xFF, 0x00}));
}

TEST(OpenRoutines, SpeedsStopBitsAndPauses) {
  using link::OpenRoutine;
  EXPECT_EQ(link::openProfile(OpenRoutine::Serial, 0).settings.baud, 57600);
  EXPECT_EQ(link::openProfile(OpenRoutine::Serial, 1).settings.baud, 19200);
  EXPECT_EQ(link::openProfile(OpenRoutine::Serial, 2).settings.baud, 57600);
  EXPECT_EQ(link::openProfile(OpenRoutine::Serial, 3).settings.baud, 19200);
  EXPECT_EQ(link::openProfile(OpenRoutine::Backup).settings.stopBits, 2);
  EXPECT_EQ(link::openProfile(OpenRoutine::Backup).settings.baud, 19200);
  EXPECT_EQ(link::openProfile(OpenRoutine::Modem).settings.baud, 9600);
  EXPECT_EQ(link::openProfile(OpenRoutine::Fingerprint).pauseAfterOpen, 3);
  const int rates[] = {57600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
  for (int code = 0; code < 8; ++code) {
    EXPECT_EQ(link::openProfile(OpenRoutine::AtRate, code).settings.baud, rates[code]);
  }
  const auto keep = link::openProfile(OpenRoutine::AtRate, 9);
  EXPECT_EQ(keep.settings.baud, 0);  // the driver's speed stays
  EXPECT_EQ(keep.settings.stopBits, 1);
}

TEST(OpenRoutines, MissingPortFailsAtOnceAndOpenPausesThirtyMs) {
  FakePlatform f;
  silentPorts(f, {2});
  EXPECT_EQ(link::openPort(f.platform, 1, link::OpenRoutine::Serial), nullptr);
  EXPECT_EQ(f.clock.now(), 0);
  auto line = link::openPort(f.platform, 2, link::OpenRoutine::Serial);
  EXPECT_NE(line, nullptr);
  EXPECT_EQ(f.clock.now(), 30);
  f.serial.attachSilent(3);
  auto fingerprint = link::openPort(f.platform, 3, link::OpenRoutine::Fingerprint);
  EXPECT_EQ(f.clock.now(), 33);
}

TEST(OpenRoutines, PortNumbersOutsideOneToNineNeverOpen) {
  FakePlatform f;
  for (int p : {0, -1, 10, 48, 2147483647, -2147483647 - 1}) {
    f.serial.attachSilent(p);
    EXPECT_EQ(link::openPort(f.platform, p, link::OpenRoutine::Serial), nullptr) << p;
  }
  EXPECT_TRUE(f.serial.opens.empty());
}

TEST(NextPort, CyclesOneToFour) {
  EXPECT_EQ(link::nextPort(1), 2);
  EXPECT_EQ(link::nextPort(3), 4);
  EXPECT_EQ(link::nextPort(4), 1);
  EXPECT_EQ(link::nextPort(5), 1);
  EXPECT_EQ(link::nextPort(9), 1);
  EXPECT_EQ(link::nextPort(2147483647), 1);
  EXPECT_EQ(link::nextPort(0), 1);
  // Ports below 1 never open: the cycle goes straight to 1 instead of counting up to it.
  EXPECT_EQ(link::nextPort(-5), 1);
  EXPECT_EQ(link::nextPort(-2147483647 - 1), 1);
}

// An answer is taken until the read running when more than L has passed ends: L + 10 ms.
TEST(AckWait, LimitIsStrictlyMoreThanL) {
  for (const auto& [delay, found] : {std::pair<Millis, bool>{999, true}, {1000, true}, {1010, true}, {1011, false}}) {
    FakePlatform f;
    SimTerminal t({.ackDelay = sim::Millis{delay}});
    t.on(f.serial, 2);
    auto line = link::openPort(f.platform, 2, link::OpenRoutine::Serial);
    link::writePreamble(f.clock, *line, 1, 0x00);
    const Millis start = f.clock.now();
    const auto got = link::awaitByte(f.clock, *line, 1000);
    EXPECT_EQ(got.has_value(), found) << delay;
    EXPECT_EQ(f.clock.now() - start, found ? delay : 1010) << delay;
  }
}

TEST(AckWait, AtLeastOneReadEvenWithZeroLimit) {
  FakePlatform f;
  SimTerminal t;
  t.on(f.serial, 1);
  auto line = link::openPort(f.platform, 1, link::OpenRoutine::Serial);
  link::writePreamble(f.clock, *line, 1, 0x00);
  EXPECT_EQ(link::awaitByte(f.clock, *line, 0), std::optional<std::uint8_t>(0x06));
}

// Each command takes an acknowledgement until the read running at its limit ends (L + 10 ms),
// not 1 ms later; then the search makes all nine attempts.
TEST(AttemptPolicy, EveryCommandHoldsToItsAcknowledgementLimitAndNoLonger) {
  struct Row {
    const char* command;
    std::uint8_t code;
    Millis limit;
    bool (*answered)(Platform&);
  };
  const Row rows[] = {
      {"_TESTCOM", 0x00, 1'000, [](Platform& p) { return link::testCom(p, 0x209, 3) == 3; }},
      {"_DOWNLOAD", 0x01, 1'000, [](Platform& p) { return download::serialDownload(p, 0x209, 3) == 0; }},
      {"_DELETE", 0x0D, 3'000, [](Platform& p) { return download::deleteRecords(p, 0x209, 3) == 0; }},
      {"_RESTORE", 0x0C, 1'000, [](Platform& p) { return download::restoreRecords(p, 0x209, 3) == 0; }},
      {"_RESTOREALL", 0x0F, 1'000,
       [](Platform& p) { return download::restoreAllRecords(p, 0x209, 3) == 0; }},
  };
  for (const Row& row : rows) {
    for (Millis delay : {row.limit + 10, row.limit + 11}) {
      FakePlatform f;
      SimTerminal t({.address = 9, .speeds = {57600, 19200}, .ackDelay = sim::Millis{delay}});
      t.on(f.serial, 3);
      const bool inTime = delay == row.limit + 10;
      EXPECT_EQ(row.answered(f.platform), inTime) << row.command << " " << delay;
      EXPECT_EQ(t.terminal.commands().front(), row.code) << row.command;
      EXPECT_EQ(f.serial.opens.size() == 9u, !inTime) << row.command << " " << delay;
      EXPECT_EQ(f.serial.openLines, 0);
    }
  }
}

// Where the search goes from each start: the ports tried in order, each at 57600 then 19200.
// Ports that do not open are stepped over uncounted; one that opens keeps the search going.
TEST(AttemptPolicy, SearchOrderFromEachStart) {
  struct Row {
    int start;
    int terminalPort;  // 0: no terminal
    int terminalSpeed;
    std::vector<int> silent;
    int found;
    std::vector<int> ports;  // of the attempts made
  };
  const Row rows[] = {
      {3, 3, 19200, {1, 2, 4}, 3, {3, 3}},
      {1, 2, 57600, {1, 3, 4}, 2, {1, 1, 2}},
      {2, 3, 57600, {1, 2, 4}, 3, {2, 2, 3}},
      {3, 4, 57600, {1, 2, 3}, 4, {3, 3, 4}},
      {4, 1, 19200, {2, 3, 4}, 1, {4, 4, 1, 1}},
      {5, 0, 0, {1, 2, 3, 4, 5}, -1, {5, 5, 1, 1, 2, 2, 3, 3, 4}},
      {1, 3, 57600, {}, 3, {3}},
      {1, 0, 0, {2}, -1, {2, 2, 2, 2, 2, 2, 2, 2, 2}},
  };
  for (const Row& row : rows) {
    FakePlatform f;
    SimTerminal t({.address = 9, .speeds = {row.terminalSpeed}});
    if (row.terminalPort != 0) t.on(f.serial, row.terminalPort);
    for (int p : row.silent) f.serial.attachSilent(p);
    EXPECT_EQ(link::testCom(f.platform, 9, row.start), row.found) << row.start;
    std::vector<Attempt> expected;
    for (std::size_t i = 0; i < row.ports.size(); ++i) expected.push_back({row.ports[i], i % 2 ? 19200 : 57600});
    EXPECT_EQ(attempts(f), expected) << row.start;
    EXPECT_EQ(f.serial.openLines, 0);
  }
}

TEST(AttemptPolicy, WrongAnswerCountsAsAFailedAttempt) {
  FakePlatform f;
  SimTerminal refuser({.speeds = {57600, 19200}, .ack = 0x15});
  for (int p = 1; p <= 4; ++p) refuser.on(f.serial, p);
  EXPECT_EQ(link::testCom(f.platform, 1, 1), -1);
  EXPECT_EQ(f.serial.opens.size(), 9u);
  EXPECT_EQ(f.serial.openLines, 0);
  // Exactly one preamble per attempt, and nothing else.
  EXPECT_EQ(f.serial.allWritten().size(), 9u * 14u);
}

TEST(AttemptPolicy, NineSilentAttemptsTakeAbout9Point3Seconds) {
  FakePlatform f;
  silentPorts(f, {1, 2, 3, 4});
  EXPECT_EQ(link::testCom(f.platform, 1, 1), -1);
  EXPECT_EQ(f.serial.opens.size(), 9u);
  EXPECT_GE(f.clock.now(), 9 * 1030);
  EXPECT_LE(f.clock.now(), 9 * 1045);
}

TEST(AttemptPolicy, NoOpenablePortEndsAfterEachPortFailedOnce) {
  FakePlatform f;
  EXPECT_EQ(link::testCom(f.platform, 1, 2), -1);
  EXPECT_EQ(f.serial.failedOpens, (std::vector<int>{2, 3, 4, 1}));
  EXPECT_EQ(f.clock.now(), 0);

  FakePlatform g;
  EXPECT_EQ(link::testCom(g.platform, 1, 7), -1);
  EXPECT_EQ(g.serial.failedOpens, (std::vector<int>{7, 1, 2, 3, 4}));

  FakePlatform h;
  EXPECT_EQ(link::testCom(h.platform, 1, -3), -1);  // any start ends; nothing outside 1..9 opened
  EXPECT_TRUE(h.serial.opens.empty());
}

TEST(AttemptPolicy, PortHeldByAnotherCallerIsSkipped) {
  FakePlatform f;
  SimTerminal t;  // answers on both ports
  t.on(f.serial, 1).on(f.serial, 2);
  {
    auto held = link::openPort(f.platform, 1, link::OpenRoutine::Serial);
    EXPECT_EQ(link::testCom(f.platform, 1, 1), 2);
    EXPECT_TRUE(f.serial.writtenTo(1).empty());
  }
  EXPECT_EQ(link::testCom(f.platform, 1, 1), 1);  // released, it answers there
}

}  // namespace
}  // namespace movar
