#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/net_link.h"
#include "loopback_listen.h"
#include "sim_fixture.h"

namespace movar::itest {
namespace {

using Clock = std::chrono::steady_clock;

// A listener that accepts and then never says a word.
class MutePeer {
 public:
  MutePeer() : socket_(sim::listenOnFreeLoopback(1024, 1)) {}
  ~MutePeer() {
    if (closer_.joinable()) closer_.join();
  }
  const char* ip() const { return socket_.ip.c_str(); }
  // Accepts one connection and closes it at once.
  void hangUpOnNext() {
    closer_ = std::thread([this] {
      const sim::UniqueFd c(::accept(socket_.fd.get(), nullptr, nullptr));
    });
  }

 private:
  sim::LoopbackSocket socket_;
  std::thread closer_;
};

TEST(NetLinkOnLoopback, OpenFailuresAreTold) {
  Platform& platform = processPlatform();
  const NobodyThere nobody;
  EXPECT_EQ(link::NetLink::open(platform, nobody.ip().c_str()).error(), ConnectError::Connect);
  EXPECT_EQ(link::NetLink::open(platform, "not-an-address").error(), ConnectError::Connect);
  EXPECT_EQ(link::NetLink::open(platform, "").error(), ConnectError::Connect);
  EXPECT_EQ(link::NetLink::open(platform, nullptr).error(), ConnectError::Connect);
  SimNet peer;
  link::NetLink net = link::NetLink::open(platform, peer.ip().c_str());
  EXPECT_TRUE(net.isOpen());
  EXPECT_EQ(net.error(), ConnectError::None);
}

TEST(NetLinkOnLoopback, SilentPeerFailsTheReceiveAfterItsLimit) {
  MutePeer peer;
  link::NetLink net = link::NetLink::open(processPlatform(), peer.ip());
  ASSERT_TRUE(net.isOpen());
  ASSERT_TRUE(net.sendPreamble(0xFA, 0x0F));
  const auto start = Clock::now();
  EXPECT_FALSE(net.receiveFrame(1, 700));
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(s, 0.69);
  EXPECT_LT(s, 1.5);
}

TEST(NetLinkOnLoopback, PreambleGoesAsOneSendAndOversizeFramesAreRefused) {
  SimNet peer;
  sim::Terminal& terminal = peer.terminal;
  link::NetLink net = link::NetLink::open(processPlatform(), peer.ip().c_str());
  ASSERT_TRUE(net.sendPreamble(0xFA, 0x0D));
  ASSERT_TRUE(net.receiveFrame(1));
  EXPECT_EQ(net[0], 0x06);
  const sim::Bytes expected{'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S', 0xFA, 0x05, 0x0D, 0xF2};
  EXPECT_EQ(terminal.receivedBytes(), expected);
  EXPECT_EQ(terminal.received().size(), 1u);  // one chunk: one send
  // The frame asked for never fits the 2048-byte area: refused without waiting.
  const auto start = Clock::now();
  EXPECT_FALSE(net.receiveFrame(4096));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));  // a wait would be the 10 s limit
}

TEST(NetLinkOnLoopback, ClosedConnectionFailsTheReceiveAtOnce) {
  MutePeer peer;
  peer.hangUpOnNext();
  link::NetLink net = link::NetLink::open(processPlatform(), peer.ip());
  ASSERT_TRUE(net.isOpen());
  const auto start = Clock::now();
  EXPECT_FALSE(net.receiveFrame(1));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

// A terminal serves one session at a time: a second connection while one is open is closed at
// once, so its first exchange fails without waiting out the receive limit, and it is counted;
// the open session goes on, and a host that closes and connects again at once is served.
TEST(NetLinkOnLoopback, ASecondSessionIsRefusedAtOnceAndCounted) {
  SimNet peer;
  link::NetLink first = link::NetLink::open(processPlatform(), peer.ip().c_str());
  ASSERT_TRUE(first.sendPreamble(0xFA, 0x00));
  ASSERT_TRUE(first.awaitAck());
  link::NetLink second = link::NetLink::open(processPlatform(), peer.ip().c_str());
  const auto start = Clock::now();
  EXPECT_FALSE(second.sendPreamble(0xFA, 0x00) && second.awaitAck());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));  // a wait would be the 10 s limit
  EXPECT_TRUE(first.sendPreamble(0xFA, 0x00) && first.awaitAck());
  for (int again = 0; again < 10; ++again) {
    first.close();
    first = link::NetLink::open(processPlatform(), peer.ip().c_str());
    ASSERT_TRUE(first.sendPreamble(0xFA, 0x00) && first.awaitAck()) << "reconnection " << again;
  }
  EXPECT_EQ(peer.listener->sessionsRefused(), 1);
  EXPECT_EQ(peer.listener->connectionsAccepted(), 11);
}

}  // namespace
}  // namespace movar::itest
