#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/modem_download.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/modem.h"
#include "modem.h"

namespace movar::download {
namespace {

using fake::FakePlatform;
using sim::BlockFault;
using sim::DialAnswer;
using Kind = sim::BlockFault::Kind;

const std::string kDat = "C:\\host\\movar.dat";
const std::string kTxt = "C:\\host\\movar.txt";

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes modemRecords(std::uint32_t count) { return sim::RecordMemory::records(0, count); }
Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A terminal behind a modem on a port; the terminal itself runs at 19200.
struct ModemTerminal {
  fake::SimTerminal t{{.address = 7, .speeds = {19200}}};
  sim::Modem& modem = t.terminal.part<sim::Modem>();
  ModemTerminal(FakePlatform& f, int port, std::uint32_t n, sim::ModemScript script = {}) {
    sim::installModem(t.terminal);
    modem.script(std::move(script));
    t.memory.fill(n);
    t.on(f.serial, port);
  }
};

struct ModemRun {
  FakePlatform f;
  ModemTerminal m;
  std::int32_t result = -1;
  explicit ModemRun(std::uint32_t n, std::vector<BlockFault> faults = {}, sim::ModemScript script = {})
      : m(f, 2, n, std::move(script)) {
    m.t.memory.script(std::move(faults));
  }
  ModemRun& run(const char* number = "5551234") {
    result = modemDownload(f.platform, 7, 2, number);
    return *this;
  }
  // The host's writes after its start request (which follows the preamble's last byte).
  std::vector<std::pair<Millis, std::uint8_t>> answers() const {
    const auto& w = f.serial.writes;
    std::vector<std::pair<Millis, std::uint8_t>> out;
    for (std::size_t i = 0; i + 1 < w.size(); ++i) {
      if (w[i].bytes != Bytes{0xFE} || w[i + 1].bytes != Bytes{0x15}) continue;
      out.clear();
      for (std::size_t k = i + 2; k < w.size(); ++k) out.emplace_back(w[k].at, w[k].bytes[0]);
    }
    return out;
  }
  Bytes answerBytes() const {
    Bytes b;
    for (const auto& [at, byte] : answers()) b.push_back(byte);
    return b;
  }
  Millis writeTime(const Bytes& bytes, int nth = 0) const {
    for (const auto& w : f.serial.writes)
      if (w.bytes == bytes && nth-- == 0) return w.at;
    return -1;
  }
  int writesOf(const std::string& s) const {
    return static_cast<int>(std::count_if(f.serial.writes.begin(), f.serial.writes.end(),
                                          [&](const fake::HostWrite& w) { return w.bytes == text(s); }));
  }
};

TEST(ModemLink, ConnectAnswerIsCONNECTAtOffsetsTwoToEight) {
  struct Row {
    std::string answer;
    bool connected;
  };
  for (const Row& row : {Row{"\r\nCONNECT 9600\r\n", true}, {"\r\nCONNECT\r\n", true}, {"\r\nCONNECT", true},
                         {"\r\nCONNEC", false}, {"CONNECT 9600\r\n", false}, {"\r\nNO CARRIER\r\n", false},
                         {"\r\nconnect 9600\r\n", false}, {"", false}}) {
    EXPECT_EQ(link::isConnectAnswer(text(row.answer).data(), row.answer.size()), row.connected)
        << row.answer;
  }
}

// Every write of a connected call and the preamble after it, and of a failed dial and its
// hang-up, at its virtual time (open at 0).
TEST(ModemLink, DialogueWritesAndPauses) {
  using Writes = std::vector<std::pair<Millis, std::string>>;
  const Writes dialled{{30, "AT E0"}, {90, "\r"},     {91, "AT V1"},   {151, "\r"}, {152, "AT Q0"},
                       {212, "\r"},   {213, "AT DT"}, {273, "5551234"}, {333, "\r"}};
  struct Row {
    const char* name;
    DialAnswer dial;
    Writes after;
    std::optional<Millis> closed;  // when the window goes: the hang-up's answer, then 1 s
  };
  const Row rows[] = {
      {"connected", DialAnswer::Connect,
       {{334, "AT Q1"}, {374, "\r"}, {376, "AT V0"}, {416, "\r"}, {418, "NORVALECJS"}, {428, "\x07"},
        {428, "\xF8"}, {428, "\x01"}, {428, "\xFE"}},
       std::nullopt},
      {"hung up", DialAnswer::Garbage, {{334, "AT H0"}, {394, "\r"}}, 395 + 1'000},
  };
  for (const Row& row : rows) {
    ModemRun r(0, {}, {.dials = {row.dial}});
    r.run();
    EXPECT_EQ(r.f.serial.opens.at(0).settings.baud, 9600);
    Writes expected = dialled;
    expected.insert(expected.end(), row.after.begin(), row.after.end());
    ASSERT_GE(r.f.serial.writes.size(), expected.size()) << row.name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(r.f.serial.writes[i].bytes, text(expected[i].second)) << row.name << " " << i;
      EXPECT_EQ(r.f.serial.writes[i].at, expected[i].first) << row.name << " " << expected[i].second;
    }
    std::vector<std::string> commands{"AT E0", "AT V1", "AT Q0", "AT DT5551234"};
    if (row.closed) commands.push_back("AT H0");  // a connected modem passes the rest on
    EXPECT_EQ(r.m.modem.commands(), commands) << row.name;
    if (row.closed) {
      EXPECT_EQ(r.f.serial.writes.size(), expected.size()) << row.name;
      EXPECT_EQ(r.f.ui.windowEvents.back().at, *row.closed) << row.name;
    }
  }
}

TEST(ModemLink, EchoOffAnsweredWithFewerThanSixBytesStepsToTheNextPortAfterEightSeconds) {
  FakePlatform f;
  ModemTerminal numeric(f, 1, 28, {.verbose = false});  // "0" CR
  ModemTerminal good(f, 2, 28);
  EXPECT_EQ(modemDownload(f.platform, 7, 1, "1"), 0);
  ASSERT_EQ(f.serial.opens.size(), 2u);
  EXPECT_EQ(f.serial.opens[1].port, 2);
  EXPECT_GT(f.serial.opens[1].at, 30 + 61 + 8'000);
  EXPECT_LT(f.serial.opens[1].at, 30 + 61 + 8'100);
  EXPECT_EQ(good.modem.dialled(), std::vector<std::string>{"1"});
}

// Failed opens and unanswered "AT E0" count together: five failed opens or six failures in all.
TEST(ModemLink, AttemptCountersEndTheDialling) {
  struct Row {
    const char* name;
    std::vector<int> silent;  // ports that open but never answer; the others do not open
    std::size_t opens, failedOpens;
  };
  for (const Row& row : {Row{"no port opens", {}, 0, 5}, {"every modem silent", {1, 2, 3, 4}, 6, 0},
                         {"both kinds", {1, 2}, 4, 2}}) {
    FakePlatform f;
    for (int port : row.silent) f.serial.attachSilent(port);
    EXPECT_EQ(modemDownload(f.platform, 7, 1, "5551234"), 1) << row.name;
    EXPECT_EQ(f.serial.opens.size(), row.opens) << row.name;
    EXPECT_EQ(f.serial.failedOpens.size(), row.failedOpens) << row.name;
    EXPECT_EQ(f.serial.openLines, 0);
  }
}

TEST(ModemLink, DialAnswerInPiecesIsAssembled) {
  ModemRun r(28, {}, {.dialTime = sim::Millis{5'000}, .piece = 3, .pieceGap = sim::Millis{400}});
  EXPECT_EQ(r.run().result, 0);
}

TEST(ModemLink, ShortDialAnswerIsExaminedOnlyAfterThirtySeconds) {
  for (const std::string connect : {"CONNECT", "CONNECT 9600"}) {  // 11 and 16 bytes framed
    ModemRun r(0, {}, {.connect = connect});
    EXPECT_EQ(r.run().result, 0) << connect;
    const Millis waited = r.writeTime(text("AT Q1")) - r.writeTime(text("\r"), 3);
    if (connect.size() < 12) {
      EXPECT_GT(waited, 30'001) << connect;
      EXPECT_LT(waited, 30'100) << connect;
    } else {
      EXPECT_EQ(waited, 1) << connect;
    }
  }
}

TEST(ModemLink, FailedDialHangsUpAndFailsWithoutASecondDial) {
  for (DialAnswer answer : {DialAnswer::Busy, DialAnswer::NoCarrier, DialAnswer::Garbage,
                            DialAnswer::Silence}) {
    ModemRun r(28, {}, {.dials = {answer}});
    EXPECT_EQ(r.run().result, 1);
    EXPECT_EQ(r.writesOf("AT H0"), 1);
    EXPECT_EQ(r.m.modem.dialled().size(), 1u);
    EXPECT_EQ(r.m.t.memory.count(), 28u);
    EXPECT_TRUE(r.f.files.contents.count(kTxt));  // converted all the same
  }
}

TEST(ModemLink, NumberOfOneTo32CharactersIsSentAsGivenAnyOtherFailsBeforeAnythingIsTouched) {
  const std::string longest(32, '7');
  ModemRun r(0);
  EXPECT_EQ(r.run(longest.c_str()).result, 0);
  EXPECT_EQ(r.writesOf(longest), 1);
  EXPECT_EQ(r.m.modem.dialled(), std::vector<std::string>{longest});
  const std::string tooLong(33, '7');
  for (const char* number : {static_cast<const char*>(nullptr), "", tooLong.c_str()}) {
    ModemRun bad(28);
    EXPECT_EQ(bad.run(number).result, 1);
    EXPECT_TRUE(bad.f.serial.opens.empty());
    EXPECT_TRUE(bad.f.files.contents.empty());
    EXPECT_TRUE(bad.f.ui.windowEvents.empty());
    EXPECT_TRUE(bad.f.ui.messages.empty());
  }
}

// After a connect without acknowledgement the whole connection is made once more, on the next
// port; a second one without acknowledgement ends the call.
TEST(ModemLink, UnacknowledgedPreambleRepeatsTheConnectionOnceOnTheNextPort) {
  for (const bool secondAnswers : {true, false}) {
    FakePlatform f;
    ModemTerminal mute(f, 1, 28);
    mute.t.terminal.setConfig({.address = 7, .speeds = {19200}, .ack = std::nullopt});
    ModemTerminal second(f, 2, 28);
    if (!secondAnswers) second.t.terminal.setConfig(mute.t.terminal.config());
    EXPECT_EQ(modemDownload(f.platform, 7, 1, "5551234"), secondAnswers ? 0 : 1);
    ASSERT_EQ(f.serial.opens.size(), 2u);
    EXPECT_EQ(f.serial.opens[1].port, 2);
    EXPECT_EQ(mute.modem.dialled().size(), 1u);
    EXPECT_EQ(second.modem.dialled().size(), 1u);
    EXPECT_EQ(f.files.contents[kDat], secondAnswers ? modemRecords(28) : Bytes{});
  }
}

TEST(ModemDownload, GoodTransferConvertsBacksUpClosesWith06AndKeepsTheRecords) {
  ModemRun r(30);
  EXPECT_EQ(r.run().result, 0);
  EXPECT_EQ(r.f.files.contents[kDat], modemRecords(30));
  EXPECT_EQ(r.f.files.contents[kTxt].size(), 30u * 23);
  int backups = 0;
  for (const auto& [path, bytes] : r.f.files.contents) backups += path.rfind("C:\\host\\downbak\\", 0) == 0;
  EXPECT_EQ(backups, 2);
  EXPECT_EQ(r.answerBytes(), (Bytes{0x06, 0x06, 0x06, 0x06}));  // header, two blocks, end
  EXPECT_EQ(r.m.t.terminal.commands(), std::vector<std::uint8_t>{0x01});
  EXPECT_EQ(r.m.t.memory.count(), 30u);
  EXPECT_EQ(r.m.t.memory.downloadsServed(), 1);
  std::vector<std::string> events;
  for (const auto& e : r.f.ui.windowEvents) events.push_back(e.what);
  EXPECT_EQ(events, (std::vector<std::string>{"show serial", "repaint", "position 93", "position 100",
                                             "destroy"}));
  // Nothing is read after the last answer: the 1 s closing pause follows it at once.
  EXPECT_EQ(r.f.ui.windowEvents.back().at - r.answers().back().first, 1'000);
}

TEST(ModemDownload, RecordFileNotCreatedShowsTheMessageConvertsAndOpensNothing) {
  ModemRun r(28);
  r.f.files.locked.insert(kDat);
  EXPECT_EQ(r.run().result, 1);
  ASSERT_GE(r.f.ui.messages.size(), 2u);
  EXPECT_EQ(r.f.ui.messages[0], "can not creat movar.dat!");
  EXPECT_EQ(r.f.ui.messages[1], "can not open movar.dat!");  // the conversion runs all the same
  EXPECT_TRUE(r.f.serial.opens.empty());
  EXPECT_TRUE(r.f.ui.windowEvents.empty());
}

TEST(ModemDownload, Kind3HeaderIsRefusedWithResendRequests) {
  ModemRun r(65541);
  EXPECT_EQ(r.run().result, 1);
  EXPECT_EQ(r.answerBytes(), concat(Bytes(15, 0xF9), Bytes{0x18}));
  EXPECT_TRUE(r.f.files.contents[kDat].empty());
}

TEST(ModemDownload, RepeatedBlockIsRefusedAfterOneMillisecondAndNotStored) {
  ModemRun r(28 * 3, {{.block = 2, .kind = Kind::RepeatAfterAck}});
  EXPECT_EQ(r.run().result, 0);
  EXPECT_EQ(r.f.files.contents[kDat], modemRecords(28 * 3));
  const auto a = r.answers();  // header, 1, 2, 2 again, 3, end
  ASSERT_EQ(a.size(), 6u);
  EXPECT_EQ(a[3].second, 0x15);
  EXPECT_EQ((a[3].first - a[2].first) - (a[2].first - a[1].first), 1);  // equal blocks, 1 ms more
}

// The length byte sets the block's length whatever it says: 255 makes a block of 261 bytes.
TEST(ModemDownload, LengthByteAbove168StaysInsideTheBlockBuffer) {
  ModemRun r(28, {{.block = 1, .kind = Kind::LongPayload, .extra = 255 - 168}});
  EXPECT_EQ(r.run().result, 1);  // more than the announced records
  EXPECT_EQ(r.f.files.contents[kDat].size(), 255u);
}

// A wrong check byte, or a wrong pattern under a right one.
TEST(ModemDownload, InvalidEndBlockIsAskedForFifteenTimesTheSixteenthCancels) {
  for (const BlockFault& fault : {BlockFault{.block = 2, .kind = Kind::DamagedCheck},
                                  BlockFault{.block = 2, .kind = Kind::BentButChecked, .at = 12, .mask = 0xFF}}) {
    for (int invalid : {15, 16}) {
      BlockFault times = fault;
      times.times = invalid;
      ModemRun r(28, {times});
      EXPECT_EQ(r.run().result, invalid == 15 ? 0 : 1) << static_cast<int>(fault.kind) << " " << invalid;
      const Bytes a = r.answerBytes();
      EXPECT_EQ(std::count(a.begin(), a.end(), 0xF9), 15) << static_cast<int>(fault.kind);
      EXPECT_EQ(a.back(), invalid == 15 ? 0x06 : 0x18) << static_cast<int>(fault.kind);
    }
  }
}

}  // namespace
}  // namespace movar::download
