#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "download/realtime.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/handshake.h"
#include "link/net_link.h"

namespace movar {
namespace {

using fake::FakePlatform;
using ::testing::AllOf;
using ::testing::Each;
using ::testing::IsEmpty;
using ::testing::Not;

// Person 123, 2009-03-14 08:05, machine 7.
const Bytes kRecord{0x00, 0x7B, 0x93, 0x0E, 0x28, 0xC5};
const std::string kRecordText = "00012320090314080507";
const std::string kZeros(20, '0');
const std::vector<Bytes> kNothingWaiting;

// A terminal holding `waiting`, on port 1 and at 10.0.0.5.
struct Poll {
  FakePlatform f;
  fake::SimTerminal t;
  explicit Poll(std::vector<Bytes> waiting = {kRecord}, sim::TerminalConfig config = {})
      : t(std::move(config)) {
    for (const Bytes& record : waiting) t.live.push(record);
    t.on(f.serial, 1).on(f.network, "10.0.0.5");
  }
  std::string serial(int port = 1) { return download::realDownload(f.platform, 1, port).data(); }
  std::string lan(const char* ip = "10.0.0.5") { return download::lanRealDownload(f.platform, ip).data(); }
  Bytes afterPreamble() const { return t.received(link::kPreambleSize); }
};

TEST(RealtimeSerial, RecordIsAcknowledgedAndTextHasFieldsInOrder) {
  Poll p;
  EXPECT_EQ(p.serial(), kRecordText);
  const Bytes sent = p.f.serial.allWritten();
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 14), link::commandPreamble(1, 0x16));
  EXPECT_EQ(p.afterPreamble(), (Bytes{0x15, 0x06}));
  EXPECT_EQ(p.t.live.waiting(), 0u);
  EXPECT_EQ(p.f.serial.openLines, 0);
}

TEST(RealtimeSerial, MachineNumberByTheAddingRule) {
  // Byte 3 = 0xC5: day 5, both page flags; low part 2.
  EXPECT_EQ(Poll({{0x00, 0x01, 0x93, 0xC5, 0x08, 0x85}}).serial(), "00000120090305080592");
  // Low part 31 plus both flags: machine 121 widens the text.
  EXPECT_EQ(Poll({{0x00, 0x01, 0x93, 0xC5, 0xE8, 0xC5}}).serial(), "000001200903050805121");
}

TEST(RealtimeSerial, NoRecordBadCheckOrShortFrameGivesZerosAndNoAnswer) {
  Poll none(kNothingWaiting);
  Poll damaged;
  damaged.t.live.damageNextFrames(1);
  Poll cut;
  cut.t.live.holdBackNextFrame(9);
  for (Poll* p : {&none, &damaged, &cut}) {
    EXPECT_EQ(p->serial(), kZeros);
    EXPECT_EQ(p->afterPreamble(), (Bytes{0x15}));
  }
  EXPECT_EQ(damaged.t.live.waiting(), 1u);
}

// Each wait takes a byte until the read running when its 0.2 s pass has ended.
TEST(RealtimeSerial, EveryWaitHoldsToItsLimitAndNoLonger) {
  using Slow = void (*)(fake::SimTerminal&, Millis);
  struct Row {
    const char* wait;
    Millis lastTaken;
    Slow slow;
  };
  const Row rows[] = {
      {"acknowledgement", 210,
       [](fake::SimTerminal& t, Millis d) { t.terminal.setConfig({.ackDelay = sim::Millis{d}}); }},
      {"frame start", 205,
       [](fake::SimTerminal& t, Millis d) { t.terminal.setConfig({.answerDelay = sim::Millis{d}}); }},
      // Counted from the first two bytes, whose read ends on the line's 5 ms gap.
      {"frame rest", 5 + 205,
       [](fake::SimTerminal& t, Millis d) { t.live.holdBackNextFrame(2, sim::Millis{d}); }},
  };
  for (const Row& row : rows) {
    for (Millis d : {row.lastTaken, row.lastTaken + 1}) {
      Poll p;
      row.slow(p.t, d);
      EXPECT_EQ(p.serial(), d == row.lastTaken ? kRecordText : kZeros) << row.wait << " " << d;
    }
  }
}

TEST(RealtimeSerial, TerminalAt19200IsNeverReached) {
  Poll p({kRecord}, {.speeds = {19200}});
  p.f.serial.attachSilent(2);
  EXPECT_EQ(p.serial(), kZeros);
  ASSERT_EQ(p.f.serial.opens.size(), 1u);
  EXPECT_EQ(p.f.serial.opens[0].settings.baud, 57600);
}

TEST(RealtimeSerial, SilentTerminalReturnsWithinOpenPauseLimitAndRest) {
  FakePlatform f;
  f.serial.attachSilent(1);
  EXPECT_EQ(download::realDownload(f.platform, 1, 1).data(), kZeros);
  // 30 ms open pause + more than 0.2 s of reads + 10 ms rest after the close.
  EXPECT_GT(f.clock.now(), 30 + 200 + 10);
  EXPECT_LE(f.clock.now(), 30 + 200 + 10 + 10);
  EXPECT_EQ(f.serial.opens.size(), 1u);
}

TEST(RealtimeSerial, StepsOverPortsThatDoNotOpenAndEndsWhenNoneDo) {
  FakePlatform f;
  fake::SimTerminal t;
  t.live.push(kRecord);
  t.on(f.serial, 3);
  EXPECT_EQ(download::realDownload(f.platform, 1, 1).data(), kRecordText);
  EXPECT_EQ(f.serial.failedOpens, (std::vector<int>{1, 2}));

  FakePlatform none;
  for (int port : {1, 4, 9, 0, -7, 2147483647}) {
    EXPECT_EQ(download::realDownload(none.platform, 1, port).data(), kZeros);
  }
  EXPECT_TRUE(none.serial.opens.empty());
}

TEST(RealtimeLan, RecordWithItsPausesAndBytes) {
  Poll p;
  EXPECT_EQ(p.lan(), kRecordText);
  EXPECT_EQ(p.f.network.connects, (std::vector<std::string>{"10.0.0.5:1024"}));
  ASSERT_EQ(p.f.network.sends.size(), 3u);
  EXPECT_EQ(p.f.network.sends[0].bytes, link::commandPreamble(0xFA, 0x17));
  EXPECT_EQ(p.f.network.sends[1].bytes, Bytes{0x15});
  EXPECT_EQ(p.f.network.sends[2].bytes, Bytes{0x06});
  EXPECT_EQ(p.f.clock.sleeps, (std::vector<Millis>{1, 20, 10, 1, 1, 25, 60}));
  EXPECT_EQ(p.t.live.waiting(), 0u);
  EXPECT_EQ(p.f.network.openStreams, 0);
}

TEST(RealtimeLan, BadCheckByteIsRefusedWithNak) {
  Poll p;
  p.t.live.damageNextFrames(1);
  EXPECT_EQ(p.lan(), kZeros);
  EXPECT_EQ(p.afterPreamble(), (Bytes{0x15, 0x15}));
  EXPECT_EQ(p.t.live.waiting(), 1u);
}

TEST(RealtimeLan, NoRecordWaitingSendsNothingMore) {
  Poll p(kNothingWaiting);
  EXPECT_EQ(p.lan(), kZeros);
  EXPECT_EQ(p.f.network.sends.size(), 2u);
}

TEST(RealtimeLan, RefusedPreambleOrFailedConnectGivesZerosAfterItsPauses) {
  Poll refused({kRecord}, {.ack = 0x15});
  EXPECT_EQ(refused.lan(), kZeros);
  EXPECT_EQ(refused.f.network.sends.size(), 1u);
  EXPECT_EQ(refused.f.clock.sleeps, (std::vector<Millis>{1, 1, 25, 60}));

  Poll nobody;
  EXPECT_EQ(nobody.lan("10.0.0.9"), kZeros);
  EXPECT_EQ(nobody.f.clock.sleeps, (std::vector<Millis>{1, 25, 60}));

  Poll noSocket;
  noSocket.f.network.failWith = ConnectError::Socket;
  EXPECT_EQ(noSocket.lan(), kZeros);
  EXPECT_EQ(noSocket.f.clock.sleeps, (std::vector<Millis>{1, 60}));
}

TEST(RealtimeLan, EveryReceiveHoldsToItsLimitAndNoLonger) {
  const Millis limit = link::kDefaultReceiveLimit;
  struct Row {
    const char* wait;
    Millis lastTaken;
    sim::TerminalConfig (*slow)(Millis);
  };
  const Row rows[] = {
      {"acknowledgement", limit, [](Millis d) { return sim::TerminalConfig{.ackDelay = sim::Millis{d}}; }},
      // The frame's receive starts 10 ms after the start request.
      {"frame", 10 + limit, [](Millis d) { return sim::TerminalConfig{.answerDelay = sim::Millis{d}}; }},
  };
  for (const Row& row : rows) {
    for (Millis d : {row.lastTaken, row.lastTaken + 1}) {
      EXPECT_EQ(Poll({kRecord}, row.slow(d)).lan(), d == row.lastTaken ? kRecordText : kZeros)
          << row.wait << " " << d;
    }
  }
  Poll silent;
  silent.t.live.holdBackNextFrame(0);
  EXPECT_EQ(silent.lan(), kZeros);
  EXPECT_EQ(silent.f.clock.now(), 1 + 20 + 10 + limit + 1 + 25 + 60);
  EXPECT_THAT(silent.f.network.receiveLimits, AllOf(Not(IsEmpty()), Each(limit)));
}

TEST(RealtimeLan, PeerClosingOnceTheRecordIsTakenLeavesTheTextIntact) {
  Poll p;
  p.t.live.closeWhenTaken(true);
  EXPECT_EQ(p.lan(), kRecordText);
}

}  // namespace
}  // namespace movar
