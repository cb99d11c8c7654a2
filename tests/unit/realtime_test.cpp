#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "download/realtime.h"
#include "fakes/fake_platform.h"
#include "link/handshake.h"

namespace movar {
namespace {

using fake::FakePlatform;

// Person 123, 2009-03-14 08:05, machine 7.
const Bytes kRecord{0x00, 0x7B, 0x93, 0x0E, 0x28, 0xC5};

Bytes frameFor(const Bytes& record, int checkOffset = 0) {
  Bytes frame{0x01, 0x00, 0x00, 0x00, 0x00};
  frame.insert(frame.end(), record.begin(), record.end());
  unsigned sum = 0;
  for (std::uint8_t b : record) sum += b;
  frame.push_back(static_cast<std::uint8_t>((sum + checkOffset) & 0xFF));
  return frame;
}

// A terminal that answers the start request with `reply` (a frame, or FF FF).
std::shared_ptr<fake::PreambleResponder> serialTerminal(Bytes reply, std::set<int> speeds = {57600}) {
  auto t = std::make_shared<fake::PreambleResponder>(1, speeds);
  t->onContinuation = [reply](fake::DeviceLink& link, const Bytes& bytes) {
    if (bytes == Bytes{0x15}) link.reply(reply, 2);
  };
  return t;
}

std::string serialPoll(FakePlatform& f, int port = 1) {
  return download::realDownload(f.platform, 1, port).data();
}

Bytes afterPreamble(const Bytes& all) { return Bytes(all.begin() + 14, all.end()); }

TEST(RealtimeSerial, RecordIsAcknowledgedAndTextHasFieldsInOrder) {
  FakePlatform f;
  f.serial.attach(1, serialTerminal(frameFor(kRecord)));
  EXPECT_EQ(serialPoll(f), "00012320090314080507");
  const Bytes sent = f.serial.allWritten();
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 14), link::commandPreamble(1, 0x16));
  EXPECT_EQ(afterPreamble(sent), (Bytes{0x15, 0x06}));
  EXPECT_EQ(f.serial.openLines, 0);
}

TEST(RealtimeSerial, MachineNumberByTheAddingRule) {
  FakePlatform f;
  // Byte 3 = 0xC5: day 5, both page flags; low part 2.
  f.serial.attach(1, serialTerminal(frameFor({0x00, 0x01, 0x93, 0xC5, 0x08, 0x85})));
  EXPECT_EQ(serialPoll(f), "00000120090305080592");
}

TEST(RealtimeSerial, ThreeDigitMachineNumberWidensTheText) {
  FakePlatform f;
  // Low part 31 plus both flags: machine 121.
  f.serial.attach(1, serialTerminal(frameFor({0x00, 0x01, 0x93, 0xC5, 0xE8, 0xC5})));
  EXPECT_EQ(serialPoll(f), "000001200903050805121");
}

TEST(RealtimeSerial, NoRecordWaitingGivesZerosAndNothingMore) {
  FakePlatform f;
  f.serial.attach(1, serialTerminal({0xFF, 0xFF}));
  EXPECT_EQ(serialPoll(f), std::string(20, '0'));
  EXPECT_EQ(afterPreamble(f.serial.allWritten()), (Bytes{0x15}));
}

TEST(RealtimeSerial, BadCheckByteGivesZerosAndNoAnswer) {
  FakePlatform f;
  f.serial.attach(1, serialTerminal(frameFor(kRecord, 1)));
  EXPECT_EQ(serialPoll(f), std::string(20, '0'));
  EXPECT_EQ(afterPreamble(f.serial.allWritten()), (Bytes{0x15}));
}

TEST(RealtimeSerial, ShortFrameGivesZeros) {
  FakePlatform f;
  Bytes cut = frameFor(kRecord);
  cut.resize(9);
  f.serial.attach(1, serialTerminal(cut));
  EXPECT_EQ(serialPoll(f), std::string(20, '0'));
  EXPECT_EQ(afterPreamble(f.serial.allWritten()), (Bytes{0x15}));
}

TEST(RealtimeSerial, TerminalAt19200IsNeverReached) {
  FakePlatform f;
  f.serial.attach(1, serialTerminal(frameFor(kRecord), {19200}));
  f.serial.attachSilent(2);
  EXPECT_EQ(serialPoll(f), std::string(20, '0'));
  ASSERT_EQ(f.serial.opens.size(), 1u);
  EXPECT_EQ(f.serial.opens[0].settings.baud, 57600);
}

TEST(RealtimeSerial, SilentTerminalReturnsWithinOpenPauseLimitAndRest) {
  FakePlatform f;
  f.serial.attachSilent(1);
  EXPECT_EQ(serialPoll(f), std::string(20, '0'));
  // 30 ms open pause + more than 0.2 s of reads + 10 ms rest after the close.
  EXPECT_GT(f.clock.now(), 30 + 200 + 10);
  EXPECT_LE(f.clock.now(), 30 + 200 + 10 + 10);
  EXPECT_EQ(f.serial.opens.size(), 1u);
}

TEST(RealtimeSerial, StepsOverPortsThatDoNotOpenAndEndsWhenNoneDo) {
  FakePlatform f;
  f.serial.attach(3, serialTerminal(frameFor(kRecord)));
  EXPECT_EQ(serialPoll(f, 1), "00012320090314080507");
  EXPECT_EQ(f.serial.failedOpens, (std::vector<int>{1, 2}));

  FakePlatform none;
  for (int port : {1, 4, 9, 0, -7, 2147483647}) {
    EXPECT_EQ(serialPoll(none, port), std::string(20, '0'));
  }
  EXPECT_TRUE(none.serial.opens.empty());
}

// A network terminal: 06 to the preamble, `reply` to the start request.
class LanTerminal : public fake::FakePeer {
 public:
  explicit LanTerminal(Bytes reply) : reply_(std::move(reply)) {}
  void onHostBytes(fake::PeerLink& link, const Bytes& bytes) override {
    if (bytes.size() == 14) {
      link.reply({ack});
    } else if (bytes == Bytes{0x15} && !started_) {
      started_ = true;
      link.reply(reply_, 1);
    } else if (bytes == Bytes{0x06} && closeOnAck) {
      link.closeConnection();
    }
  }
  std::uint8_t ack = 0x06;
  bool closeOnAck = false;

 private:
  Bytes reply_;
  bool started_ = false;
};

std::string lanPoll(FakePlatform& f, const char* ip = "10.0.0.5") {
  return download::lanRealDownload(f.platform, ip).data();
}

TEST(RealtimeLan, RecordWithItsPausesAndBytes) {
  FakePlatform f;
  f.network.attach("10.0.0.5", std::make_shared<LanTerminal>(frameFor(kRecord)));
  EXPECT_EQ(lanPoll(f), "00012320090314080507");
  EXPECT_EQ(f.network.connects, (std::vector<std::string>{"10.0.0.5:1024"}));
  Bytes preamble = link::commandPreamble(0xFA, 0x17);
  EXPECT_EQ(f.network.sends.size(), 3u);
  EXPECT_EQ(f.network.sends[0].bytes, preamble);
  EXPECT_EQ(f.network.sends[1].bytes, Bytes{0x15});
  EXPECT_EQ(f.network.sends[2].bytes, Bytes{0x06});
  EXPECT_EQ(f.clock.sleeps, (std::vector<Millis>{1, 20, 10, 1, 1, 25, 60}));
  EXPECT_EQ(f.network.openStreams, 0);
}

TEST(RealtimeLan, BadCheckByteIsRefusedWithNak) {
  FakePlatform f;
  f.network.attach("10.0.0.5", std::make_shared<LanTerminal>(frameFor(kRecord, 3)));
  EXPECT_EQ(lanPoll(f), std::string(20, '0'));
  EXPECT_EQ(f.network.allSent(), [] {
    Bytes b = link::commandPreamble(0xFA, 0x17);
    b.insert(b.end(), {0x15, 0x15});
    return b;
  }());
}

TEST(RealtimeLan, NoRecordWaitingSendsNothingMore) {
  FakePlatform f;
  f.network.attach("10.0.0.5", std::make_shared<LanTerminal>(Bytes{0xFF, 0xFF}));
  EXPECT_EQ(lanPoll(f), std::string(20, '0'));
  EXPECT_EQ(f.network.sends.size(), 2u);
}

TEST(RealtimeLan, RefusedPreambleOrFailedConnectGivesZerosAfterItsPauses) {
  FakePlatform f;
  auto terminal = std::make_shared<LanTerminal>(frameFor(kRecord));
  terminal->ack = 0x15;
  f.network.attach("10.0.0.5", terminal);
  EXPECT_EQ(lanPoll(f), std::string(20, '0'));
  EXPECT_EQ(f.network.sends.size(), 1u);
  EXPECT_EQ(f.clock.sleeps, (std::vector<Millis>{1, 1, 25, 60}));

  FakePlatform g;  // nothing listens there
  EXPECT_EQ(lanPoll(g, "10.0.0.9"), std::string(20, '0'));
  EXPECT_EQ(g.clock.sleeps, (std::vector<Millis>{1, 25, 60}));

  FakePlatform h;
  h.network.failWith = ConnectError::Socket;
  EXPECT_EQ(lanPoll(h), std::string(20, '0'));
  EXPECT_EQ(h.clock.sleeps, (std::vector<Millis>{1, 60}));
}

TEST(RealtimeLan, SilentOrClosingPeerEndsWithinTheReceiveLimit) {
  FakePlatform f;
  f.network.attach("10.0.0.5", std::make_shared<LanTerminal>(Bytes{}));  // never sends a frame
  EXPECT_EQ(lanPoll(f), std::string(20, '0'));
  EXPECT_LE(f.clock.now(), 10'000 + 200);
  for (Millis limit : f.network.receiveLimits) EXPECT_EQ(limit, 10'000);

  FakePlatform g;
  auto closing = std::make_shared<LanTerminal>(frameFor(kRecord));
  closing->closeOnAck = true;  // the host already has the record when the peer leaves
  g.network.attach("10.0.0.5", closing);
  EXPECT_EQ(lanPoll(g), "00012320090314080507");
}

TEST(RealtimeLan, NullOrMalformedAddressGivesZeros) {
  FakePlatform f;
  EXPECT_EQ(lanPoll(f, nullptr), std::string(20, '0'));
  EXPECT_EQ(lanPoll(f, "not an address"), std::string(20, '0'));
}

}  // namespace
}  // namespace movar
