// The setting commands against the simulator's terminal in virtual time: the exact bytes of each
// row on the wire, every pause, and every wait on both sides of its limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/handshake.h"
#include "settings/answer_block.h"
#include "settings/baud_rate.h"
#include "settings/rows.h"
#include "settings/runner.h"
#include "terminal_settings.h"

namespace movar::settings {
namespace {

using fake::FakePlatform;
using fake::hex;
using fake::SimTerminal;
using sim::TerminalSettings;

constexpr const char* kIp = "10.0.0.9";

struct Rig {
  FakePlatform f;
  SimTerminal terminal;
  explicit Rig(sim::TerminalConfig config = {}) : terminal(config) {
    terminal.on(f.serial, 1);
    terminal.on(f.network, kIp);
  }
  TerminalSettings& settings() { return terminal.terminal.part<TerminalSettings>(); }
  // Serial host writes after the five of the preamble; every one of them a single byte.
  Bytes serialAfterPreamble() const {
    Bytes all;
    for (std::size_t i = 5; i < f.serial.writes.size(); ++i) {
      EXPECT_EQ(f.serial.writes[i].bytes.size(), 1u) << "write " << i;
      all.insert(all.end(), f.serial.writes[i].bytes.begin(), f.serial.writes[i].bytes.end());
    }
    return all;
  }
  std::vector<Bytes> sendsAfterPreamble() const {
    std::vector<Bytes> sends;
    for (std::size_t i = 1; i < f.network.sends.size(); ++i) sends.push_back(f.network.sends[i].bytes);
    return sends;
  }
};

struct SerialRow {
  const char* name;
  const Command& command;
  std::vector<std::int32_t> values;
  std::uint8_t code;
  const char* afterPreamble;  // hex
  std::vector<Millis> sleeps;  // the open's 30 ms first
  std::string text = {};
};

TEST(SerialSettings, BytesAfterTheAcknowledgedPreambleAndPauses) {
  const SerialRow rows[] = {
      {"SETTIME", kSetTime, {1, 2, 3, 4, 5, 6, 7}, 0x02, "15 01 07 F8 01 02 03 04 05 06 07 1C", {30}},
      {"SETTIME over 255", kSetTime, {0xFF, 0xFF, 0x12, 0, 0, 0, 0x101}, 0x02,
       "15 01 07 F8 FF FF 12 00 00 00 01 11", {30}},
      {"SETMACHINEID", kSetMachineId, {5}, 0x04, "15 01 01 FE 05 05", {30}},
      {"SETMACHINEID 300", kSetMachineId, {300}, 0x04, "15 01 01 FE 2C 2C", {30}},
      {"SETPASSWORD", kSetPassword, {0x71234}, 0x07, "15 01 02 FD 12 34 46", {30}},
      {"SETLOCKNUM", kSetLockNumber, {0x0102}, 0x03, "15 01 03 FC 01 01 02 04", {30, 1}},
      {"DELLOCKNUM", kDeleteLockNumber, {}, 0x03, "15 01 01 FE 00 00", {30, 1}},
      {"ENABLEALL", kEnableAll, {}, 0x08, "", {30, 3'000}},
      {"DISABLEALL", kDisableAll, {}, 0x09, "", {30, 4'000}},
      {"ENABLEPERSON", kEnablePerson, {300}, 0x0A, "15 01 02 FD 01 2C 2D", {30, 10, 10}},
      {"DISABLEPERSON", kDisablePerson, {0x1FFFF}, 0x0B, "15 01 02 FD FF FF FE", {30, 10, 5}},
      {"SETSN", kSetSn, {0x0102, 0x0304}, 0x10, "15 01 04 FB 01 02 03 04 0A", {30, 5, 5}},
      {"DELSN", kDeleteSn, {0x1234}, 0x11, "15 01 02 FD 12 34 46", {30, 5, 5}},
      {"DELSN cut", kDeleteSn, {0x12345}, 0x11, "15 01 02 FD 23 45 68", {30, 5, 5}},
      {"SETSNORCARD", kSetSnOrCard, {3}, 0x13, "15 01 01 FE 03 03", {30}},
      {"SETOPENMODE", kSetOpenMode, {3}, 0x13, "15 01 01 FE 03 03", {30}},
      {"SETCARDWAITTIME", kSetCardWaitTime, {0x109}, 0x14, "15 01 01 FE 09 09", {30}},
      {"SETOPENTIME", kSetOpenTime, {9}, 0x14, "15 01 01 FE 09 09", {30}},
      {"SETOPENCLOSE 1", kSetOpenClose, {1}, 0x06, "15 01 01 FE 55 55", {30}},
      {"SETOPENCLOSE 0", kSetOpenClose, {0}, 0x06, "15 01 01 FE 00 00", {30}},
      {"SETOPENCLOSE 2", kSetOpenClose, {2}, 0x06, "15 01 01 FE 00 00", {30}},
      {"SETOPENCLOSE -1", kSetOpenClose, {-1}, 0x06, "15 01 01 FE 00 00", {30}},
      {"SENDONLYCARD", kSendOnlyCard, {0x1234}, 0x03, "15 01 03 FC 00 12 34 46", {30, 10}},
      {"SENDONLYCARD 70000", kSendOnlyCard, {70000}, 0x03, "15 01 03 FC 00 11 70 81", {30, 10}},
      {"DELONLYCARD", kDeleteOnlyCard, {0x1234}, 0x03, "15 01 03 FC 01 12 34 47", {30, 10}},
      {"DELALLONLYCARD", kDeleteAllOnlyCards, {}, 0x03, "15 01 01 FE 02 02", {30, 10}},
      {"SETBELL", kSetBell, {8, 30, 5}, 0x18, "15 01 03 FC 08 1E 05 2B", {30, 1}},
      {"SENDNAME empty", kSendName, {0x1234}, 0x0E, "15 01 02 FD 12 34 46", {30}},
      {"SENDNAME", kSendName, {0x1234}, 0x0E, "15 01 04 FB 12 34 41 42 C9", {30}, "AB"},
      {"SENDNAME zero inside, cut number", kSendName, {0x10001}, 0x0E,
       "15 01 05 FA 00 01 00 C4 E3 A8", {30}, std::string("\0\xC4\xE3", 3)},
      {"CHANGENAMEID", kChangeNameId, {1, 2}, 0x06, "15 01 04 FB 00 01 00 02 03", {30}},
      {"DELETEALLNAME", kDeleteAllNames, {}, 0x05, "", {30}},
      {"DELVOICE", kDeleteVoice, {0x0102}, 0x15, "15 01 02 FD 01 02 03", {30}},
      {"DELVOICE 0 = DELALLVOICE", kDeleteVoice, {0}, 0x15, "15 01 02 FD 00 00 00", {30}},
      {"SENDVOICE empty", kSendVoice, {0x1FF, 0x1234, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0x14,
       "15 01 11 EE FF 12 34 00 03 04 00 05 06 07 08 09 0A 0B 0C 0D 00 9D", {30, 5, 10, 1}},
      {"SENDVOICE", kSendVoice, {0x1FF, 0x1234, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0x14,
       "15 01 13 EC FF 12 34 00 03 04 00 05 06 07 08 09 0A 0B 0C 0D 02 41 42 22", {30, 5, 10, 1, 1, 1},
       "AB"},
  };
  for (const SerialRow& row : rows) {
    Rig s;
    EXPECT_EQ(runSerial(s.f.platform, row.command, 0x101, 1, row.values, row.text), 0) << row.name;
    ASSERT_GE(s.f.serial.writes.size(), 5u) << row.name;
    EXPECT_EQ(s.f.serial.writes[3].bytes, Bytes{row.code}) << row.name;
    EXPECT_EQ(s.serialAfterPreamble(), hex(row.afterPreamble)) << row.name;
    EXPECT_EQ(s.f.clock.sleeps, row.sleeps) << row.name;
    EXPECT_EQ(s.f.serial.openLines, 0) << row.name;
  }
}

struct TcpRow {
  const char* name;
  const Command& command;
  std::vector<std::int32_t> values;
  std::uint8_t code;
  std::vector<const char*> sends;  // after the preamble, one hex text per send
  std::vector<Millis> sleeps;
  std::string text = {};
};

TEST(TcpSettings, SendsAfterTheAcknowledgedPreambleAndPauses) {
  const TcpRow rows[] = {
      {"LANSETTIME", kLanSetTime, {1, 2, 3, 4, 5, 6, 7}, 0x02,
       {"15 01 07 F8 01 02 03 04 05 06 07 1C"}, {}},
      {"LANANSWER", kLanAnswer, {0}, 0x03, {"15 01 01 FE 00 00"}, {}},
      {"LANENABLEALL", kLanEnableAll, {}, 0x08, {}, {2'000}},
      {"LANDISABLEALL", kLanDisableAll, {}, 0x09, {}, {3'000}},
      {"LANENABLEPERSON", kLanEnablePerson, {300}, 0x0A, {"15", "01 02 FD 01 2C 2D"},
       {1, 10, 1, 1, 1, 25}},
      {"LANDISABLEPERSON", kLanDisablePerson, {300}, 0x0B, {"15", "01 02 FD 01 2C 2D"},
       {1, 10, 1, 1, 1, 1}},
      {"LANSETSN", kLanSetSn, {0x0102, 0x0304}, 0x10, {"15", "01 04 FB", "01", "02", "03", "04", "0A"},
       {1, 10, 1, 1, 1, 25}},
      {"LANDELSN", kLanDeleteSn, {0x1234}, 0x11, {"15", "01 02 FD", "12", "34", "46"},
       {1, 10, 2, 1, 1, 25}},
      {"LANSETOPENMODE", kLanSetOpenMode, {3}, 0x13, {"15", "01 01 FE", "03", "03"},
       {1, 10, 2, 1, 1, 25}},
      {"LANSETOPENTIME", kLanSetOpenTime, {0x109}, 0x14, {"15", "01 01 FE", "09", "09"},
       {1, 10, 2, 1, 1, 25}},
      {"LANSETOPENCLOSE 1", kLanSetOpenClose, {1}, 0x06, {"15", "01 01 FE", "01", "01"},
       {1, 3, 2, 1, 1, 25}},
      {"LANSETOPENCLOSE 0x155", kLanSetOpenClose, {0x155}, 0x06, {"15", "01 01 FE", "55", "55"},
       {1, 3, 2, 1, 1, 25}},
      {"LANSENDNAME", kLanSendName, {0x1234}, 0x0E,
       {"15", "01 04 FB", "12", "34", "41", "42", "C9"}, {1, 5, 1, 1, 1, 25}, "AB"},
      {"LANCHANGENAMEID", kLanChangeNameId, {1, 2}, 0x06, {"15 01 04 FB", "00", "01", "00", "02", "03"},
       {}},
      {"LANDELETEALLNAME", kLanDeleteAllNames, {}, 0x05, {}, {}},
      {"LANSENDVOICE", kLanSendVoice, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0x14,
       {"15 01 12 ED", "01", "00", "02", "00", "03", "04", "00", "05", "06", "07", "08", "09", "0A",
        "0B", "0C", "0D", "01", "C1", "1D"},
       {25}, "\xC1"},
      {"LANDELVOICE", kLanDeleteVoice, {0x0102}, 0x15, {"15 01 02 FD", "01", "02", "03"}, {}},
  };
  for (const TcpRow& row : rows) {
    Rig s;
    EXPECT_EQ(runTcp(s.f.platform, row.command, kIp, row.values, row.text), 0) << row.name;
    ASSERT_FALSE(s.f.network.sends.empty()) << row.name;
    EXPECT_EQ(s.f.network.sends[0].bytes, link::commandPreamble(0xFA, row.code)) << row.name;
    std::vector<Bytes> expected;
    for (const char* send : row.sends) expected.push_back(hex(send));
    EXPECT_EQ(s.sendsAfterPreamble(), expected) << row.name;
    EXPECT_EQ(s.f.clock.sleeps, row.sleeps) << row.name;
    EXPECT_EQ(s.f.network.openStreams, 0) << row.name;
  }
}

// The terminal's answer to the block just inside and just outside each final wait: one attempt
// only, and a late answer is a failure.
TEST(SettingsWaits, FinalAnswerOnBothSidesOfItsLimit) {
  struct Row {
    const char* name;
    const Command& command;
    std::vector<std::int32_t> values;
    std::uint8_t code;
    Millis limit;
    bool tcp;
  };
  const Row rows[] = {
      {"SETTIME", kSetTime, {1, 2, 3, 4, 5, 6, 7}, 0x02, 1'000, false},
      {"SETLOCKNUM", kSetLockNumber, {1}, 0x03, 1'000, false},
      {"ENABLEPERSON", kEnablePerson, {1}, 0x0A, 180'000, false},
      {"DISABLEPERSON", kDisablePerson, {1}, 0x0B, 60'000, false},
      {"SETSN", kSetSn, {1, 2}, 0x10, 30'000, false},
      {"SETOPENCLOSE", kSetOpenClose, {1}, 0x06, 1'000, false},
      {"SENDONLYCARD", kSendOnlyCard, {1}, 0x03, 5'000, false},
      {"SETBELL", kSetBell, {1, 2, 3}, 0x18, 5'000, false},
      {"SENDNAME", kSendName, {1}, 0x0E, 10'000, false},
      {"DELETEALLNAME", kDeleteAllNames, {}, 0x05, 10'000, false},
      {"SENDVOICE", kSendVoice, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0x14, 3'000, false},
      {"DELVOICE", kDeleteVoice, {1}, 0x15, 10'000, false},
      {"LANSETTIME", kLanSetTime, {1, 2, 3, 4, 5, 6, 7}, 0x02, 10'000, true},
      {"LANENABLEPERSON", kLanEnablePerson, {1}, 0x0A, 180'000, true},
      {"LANDISABLEPERSON", kLanDisablePerson, {1}, 0x0B, 60'000, true},
      {"LANSETSN", kLanSetSn, {1, 2}, 0x10, 30'000, true},
      {"LANSETOPENMODE", kLanSetOpenMode, {1}, 0x13, 10'000, true},
  };
  for (const Row& row : rows) {
    // A serial wait reads one byte at a time, 10 ms per silent read: the answer at the limit is
    // taken, one a read later is not. A TCP receive ends exactly at its limit.
    const Millis late = row.tcp ? row.limit + 1 : row.limit + 20;
    for (const auto& [delay, result] : {std::pair{row.limit, 0}, std::pair{late, 1}}) {
      Rig s;
      s.settings().script(row.code, {.workingTime = sim::Millis{delay}});
      const std::int32_t got = row.tcp ? runTcp(s.f.platform, row.command, kIp, row.values)
                                       : runSerial(s.f.platform, row.command, 1, 1, row.values);
      EXPECT_EQ(got, result) << row.name << " after " << delay;
      EXPECT_EQ(s.terminal.terminal.commands().size(), 1u) << row.name;
    }
  }
}

// The acknowledgement of the preamble within the terminal's working time, per attempt: the
// whole-terminal commands make their closing pause with the last port open also after the ninth
// failure; the TCP twins return at once without it.
TEST(SettingsWaits, PreambleAcknowledgementOnBothSidesOfItsLimit) {
  struct Row {
    const char* name;
    const Command& command;
    Millis limit;
    Millis closing;  // the pause after the ninth failed attempt, or 0
    bool tcp;
  };
  const Row rows[] = {
      {"ENABLEALL", kEnableAll, 30'000, 3'000, false},
      {"DISABLEALL", kDisableAll, 40'000, 4'000, false},
      {"DISABLEPERSON", kDisablePerson, 10'000, 0, false},
      {"LANENABLEALL", kLanEnableAll, 30'000, 0, true},
      {"LANDISABLEALL", kLanDisableAll, 40'000, 0, true},
      {"LANSETSN", kLanSetSn, 10'000, 0, true},
      {"SENDVOICE", kSendVoice, 2'000, 0, false},
  };
  const std::vector<std::int32_t> values{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  for (const Row& row : rows) {
    const Millis late = row.tcp ? row.limit + 1 : row.limit + 20;
    for (const auto& [delay, result] : {std::pair{row.limit, 0}, std::pair{late, 1}}) {
      Rig s({.ackDelay = sim::Millis{delay}});
      const std::int32_t got = row.tcp ? runTcp(s.f.platform, row.command, kIp, values)
                                       : runSerial(s.f.platform, row.command, 1, 1, values);
      EXPECT_EQ(got, result) << row.name << " after " << delay;
      if (result == 1 && !row.tcp) {
        EXPECT_EQ(s.f.serial.opens.size(), 9u) << row.name;
        EXPECT_EQ(s.f.clock.sleeps.back(), row.closing > 0 ? row.closing : 30) << row.name;
        EXPECT_LE(s.f.clock.now(), 9 * (30 + row.limit + 10) + row.closing) << row.name;
      }
      if (result == 1 && row.tcp && row.command.closingWhen == Closing::OnSuccess) {
        EXPECT_TRUE(s.f.clock.sleeps.empty()) << row.name;
      }
    }
  }
}

TEST(SettingsFailures, RefusedBlockEndsTheCall) {
  Rig refused;
  refused.settings().script(0x0A, {.byte = 0x15});
  EXPECT_EQ(runSerial(refused.f.platform, kEnablePerson, 1, 1, {300}), 1);
  EXPECT_EQ(refused.f.serial.opens.size(), 1u);  // no second attempt, no other port
  EXPECT_EQ(refused.terminal.terminal.commands().size(), 1u);
}

// The pauses of a link that could not be set up, by the step that failed. A text that is no
// address (none at all included) fails as a refused connect, with nothing tried on the network.
TEST(SettingsFailures, LinkNotSetUpPausesByTheFailedStep) {
  struct Row {
    const char* name;
    const Command& command;
    const char* ip;  // nobody listens at kIp
    ConnectError forced;
    std::vector<Millis> sleeps;
  };
  const Row rows[] = {
      {"LANSETSN refused", kLanSetSn, kIp, ConnectError::None, {1, 25}},
      {"LANSETSN abc", kLanSetSn, "abc", ConnectError::None, {1, 25}},
      {"LANSETSN empty", kLanSetSn, "", ConnectError::None, {1, 25}},
      {"LANSETSN null", kLanSetSn, nullptr, ConnectError::None, {1, 25}},
      {"LANSETSN no socket", kLanSetSn, kIp, ConnectError::Socket, {1}},
      {"LANSETSN no library", kLanSetSn, kIp, ConnectError::LibraryStart, {1}},
      {"LANENABLEPERSON refused", kLanEnablePerson, kIp, ConnectError::None, {1}},
      {"LANENABLEPERSON null", kLanEnablePerson, nullptr, ConnectError::None, {1}},
      {"LANSENDNAME refused", kLanSendName, kIp, ConnectError::None, {1, 25}},
      {"LANSENDNAME null", kLanSendName, nullptr, ConnectError::None, {1, 25}},
      {"LANSENDNAME no socket", kLanSendName, kIp, ConnectError::Socket, {1, 25}},
      {"LANSENDNAME no library", kLanSendName, kIp, ConnectError::LibraryStart, {1, 25}},
      {"LANSENDVOICE refused", kLanSendVoice, kIp, ConnectError::None, {25}},
      {"LANSENDVOICE abc", kLanSendVoice, "abc", ConnectError::None, {25}},
      {"LANSENDVOICE null", kLanSendVoice, nullptr, ConnectError::None, {25}},
      {"LANSENDVOICE no socket", kLanSendVoice, kIp, ConnectError::Socket, {25}},
      {"LANSENDVOICE no library", kLanSendVoice, kIp, ConnectError::LibraryStart, {}},
      {"LANDELVOICE refused", kLanDeleteVoice, kIp, ConnectError::None, {}},
  };
  const std::vector<std::int32_t> values{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  for (const Row& row : rows) {
    FakePlatform f;
    f.network.failWith = row.forced;
    EXPECT_EQ(runTcp(f.platform, row.command, row.ip, values), 1) << row.name;
    EXPECT_EQ(f.clock.sleeps, row.sleeps) << row.name;
    if (row.ip != kIp) {
      EXPECT_TRUE(f.network.connects.empty()) << row.name;
    }
  }
}

// A text is sent whole or not at all: one longer than the terminal's buffer, or one whose counted
// length is negative, gives 1 before a port or socket is touched. The voice text is paced under
// fine pauses.
TEST(NamesAndVoice, TextsThatCannotGoWholeTouchNothing) {
  const std::vector<std::int32_t> fields{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  struct Row {
    const Command& command;
    bool tcp;
    std::size_t longest;
  };
  for (const Row& row : {Row{kSendName, false, 20}, Row{kLanSendName, true, 100},
                         Row{kSendVoice, false, 100}, Row{kLanSendVoice, true, 100}}) {
    const auto run = [&](FakePlatform& f, Text text) {
      return row.tcp ? runTcp(f.platform, row.command, kIp, fields, text)
                     : runSerial(f.platform, row.command, 1, 1, fields, text);
    };
    const std::string longest(row.longest, '\xB5');
    Rig fits;
    EXPECT_EQ(run(fits.f, longest), 0) << row.longest;
    for (const Text text : {Text{longest + "x"}, Text{}}) {
      FakePlatform f;
      EXPECT_EQ(run(f, text), 1) << row.longest;
      EXPECT_TRUE(f.serial.opens.empty() && f.network.connects.empty() && f.clock.sleeps.empty());
    }
  }
  Rig voice;
  EXPECT_EQ(runSerial(voice.f.platform, kSendVoice, 1, 1, fields, "AB"), 0);
  EXPECT_EQ(voice.f.clock.fineHoldsTaken, 1);
  EXPECT_EQ(voice.f.clock.fineHolds, 0);
}

TEST(AnswerBlock, ValueOnlyWhenEveryCheckHolds) {
  const Bytes good = hex("15 00 FF 02 FD 01 2C 2D");
  EXPECT_EQ(answerBlockValue(good.data()), 300);
  Bytes freeFirst = good;
  freeFirst[0] = 0xA7;
  EXPECT_EQ(answerBlockValue(freeFirst.data()), 300);
  // Each field alone, and the block number with its complement kept intact.
  const std::vector<std::pair<std::size_t, std::uint8_t>> corruptions{
      {1, 0x01}, {2, 0xFE}, {3, 0x03}, {4, 0xFC}, {7, 0x2E}};
  for (const auto& [at, value] : corruptions) {
    Bytes bad = good;
    bad[at] = value;
    EXPECT_FALSE(answerBlockValue(bad.data())) << at;
  }
  Bytes renumbered = good;
  renumbered[1] = 0x01;
  renumbered[2] = 0xFE;
  EXPECT_FALSE(answerBlockValue(renumbered.data()));
}

TEST(SnQueries, AcceptedAnswersAreConfirmedOthersGive65535) {
  Rig s;
  EXPECT_EQ(runSerial(s.f.platform, kSetSn, 1, 1, {0x0102, 300}), 0);
  s.f.serial.writes.clear();
  EXPECT_EQ(runSerial(s.f.platform, kWhatSn, 1, 1, {0x0102}), 300);
  EXPECT_EQ(s.serialAfterPreamble(), hex("15 01 02 FD 01 02 03 06"));  // the answer confirmed

  s.settings().damageNextAnswers(1);
  s.f.serial.writes.clear();
  EXPECT_EQ(runSerial(s.f.platform, kWhatSn, 1, 1, {0x0102}), 65535);
  EXPECT_EQ(s.serialAfterPreamble(), hex("15 01 02 FD 01 02 03"));  // nothing sent for it

  s.settings().setSnLength(16);
  s.f.serial.writes.clear();
  EXPECT_EQ(runSerial(s.f.platform, kSnLength, 1, 1), 16);
  EXPECT_EQ(s.serialAfterPreamble(), hex("15 06"));
  EXPECT_EQ(s.settings().state().answersConfirmed, 2);
}

// The answer may come in pieces: 10 s of silence between its bytes are allowed, not more.
TEST(SnQueries, AnswerBlockInactivityLimit) {
  for (const auto& [gap, value] : {std::pair{Millis{9'990}, 300}, std::pair{Millis{10'020}, 65535}}) {
    Rig s({.byteGap = sim::Millis{gap}});
    s.settings().setSnLength(300);
    EXPECT_EQ(runSerial(s.f.platform, kSnLength, 1, 1), value) << gap;
  }
  Rig silent;
  silent.settings().script(0x12, {.byte = std::nullopt});  // the block is never acknowledged
  EXPECT_EQ(runSerial(silent.f.platform, kWhatSn, 1, 1, {1}), 65535);
}

TEST(BaudRate, MessageAtEveryRateUntilTheTerminalAnswers) {
  const Bytes wire = [] {
    Bytes b(20, 0x63);
    b.insert(b.end(), 20, 0x6A);
    const Bytes tail = hex("01 02 03 04 05 06 07 08 09 0A 0B 0C 05");
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  }();
  // A terminal at 9600 hears the fourth attempt and moves to the rate code 5 names (19200).
  FakePlatform f;
  SimTerminal t({.speeds = {9600}});
  t.on(f.serial, 2);
  EXPECT_EQ(setBaudRate(f.platform, 2, 0x105, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), 0);
  std::vector<int> bauds;
  for (const auto& open : f.serial.opens) bauds.push_back(open.settings.baud);
  EXPECT_EQ(bauds, (std::vector<int>{57600, 38400, 19200, 9600}));
  ASSERT_EQ(f.serial.writes.size(), 8u);
  for (std::size_t i = 0; i < f.serial.writes.size(); i += 2) {
    EXPECT_EQ(f.serial.writes[i].bytes, Bytes(wire.begin(), wire.begin() + 40));
    EXPECT_EQ(f.serial.writes[i + 1].bytes, Bytes(wire.begin() + 40, wire.end()));
  }
  EXPECT_EQ(t.terminal.config().speeds, (std::set<int>{19200}));

  // Anything but 0x06 is no answer: eight attempts, the last at 57600 again; a silent line takes
  // its 2 s at each.
  FakePlatform g;
  SimTerminal refusing({.speeds = {57600, 38400, 19200, 9600, 4800, 2400, 1200}, .ack = 0x15});
  refusing.on(g.serial, 1);
  g.serial.writes.clear();
  EXPECT_EQ(setBaudRate(g.platform, 1, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), 1);
  ASSERT_EQ(g.serial.opens.size(), 8u);
  EXPECT_EQ(g.serial.opens.back().settings.baud, 57600);
  EXPECT_EQ(g.serial.opens[3].settings.baud, 9600);
  FakePlatform quiet;
  quiet.serial.attachSilent(1);
  EXPECT_EQ(setBaudRate(quiet.platform, 1, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), 1);
  EXPECT_EQ(quiet.serial.opens.size(), 8u);
  EXPECT_GT(quiet.clock.now(), 8 * (30 + 2'000));
  EXPECT_LE(quiet.clock.now(), 8 * (30 + 2'000 + 10));

  FakePlatform none;  // a port that does not open: 1 at once, no other port tried
  none.serial.attachSilent(2);
  EXPECT_EQ(setBaudRate(none.platform, 1, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), 1);
  EXPECT_TRUE(none.serial.opens.empty());
  EXPECT_EQ(none.clock.now(), 0);
}

}  // namespace
}  // namespace movar::settings
