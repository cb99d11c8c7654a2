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
  explicit MutePeer(const char* ip) : fd_(sim::listenOn(ip, 1024, 1)), ok_(bool(fd_)) {}
  ~MutePeer() {
    if (closer_.joinable()) closer_.join();
  }
  // Accepts one connection and closes it at once.
  void hangUpOnNext() {
    closer_ = std::thread([this] {
      const sim::UniqueFd c(::accept(fd_.get(), nullptr, nullptr));
    });
  }
  bool ok() const { return ok_; }

 private:
  sim::UniqueFd fd_;
  bool ok_ = false;
  std::thread closer_;
};

TEST(NetLinkOnLoopback, OpenFailuresAreTold) {
  Platform& platform = processPlatform();
  // Nothing listens at this address.
  EXPECT_EQ(link::NetLink::open(platform, "127.0.0.71").error(), ConnectError::Connect);
  EXPECT_EQ(link::NetLink::open(platform, "not-an-address").error(), ConnectError::Connect);
  EXPECT_EQ(link::NetLink::open(platform, "").error(), ConnectError::Connect);
  EXPECT_EQ(link::NetLink::open(platform, nullptr).error(), ConnectError::Connect);
  SimNet peer("127.0.0.72");
  link::NetLink net = link::NetLink::open(platform, "127.0.0.72");
  EXPECT_TRUE(net.isOpen());
  EXPECT_EQ(net.error(), ConnectError::None);
}

TEST(NetLinkOnLoopback, SilentPeerFailsTheReceiveAfterItsLimit) {
  MutePeer peer("127.0.0.73");
  ASSERT_TRUE(peer.ok());
  link::NetLink net = link::NetLink::open(processPlatform(), "127.0.0.73");
  ASSERT_TRUE(net.isOpen());
  ASSERT_TRUE(net.sendPreamble(0xFA, 0x0F));
  const auto start = Clock::now();
  EXPECT_FALSE(net.receiveFrame(1, 700));
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(s, 0.69);
  EXPECT_LT(s, 1.5);
}

TEST(NetLinkOnLoopback, PreambleGoesAsOneSendAndOversizeFramesAreRefused) {
  SimNet peer("127.0.0.74");
  sim::Terminal& terminal = peer.terminal;
  link::NetLink net = link::NetLink::open(processPlatform(), "127.0.0.74");
  ASSERT_TRUE(net.sendPreamble(0xFA, 0x0D));
  ASSERT_TRUE(net.receiveFrame(1));
  EXPECT_EQ(net[0], 0x06);
  const sim::Bytes expected{'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S', 0xFA, 0x05, 0x0D, 0xF2};
  EXPECT_EQ(terminal.receivedBytes(), expected);
  EXPECT_EQ(terminal.received().size(), 1u);  // one chunk: one send
  // The frame asked for never fits the 2048-byte area: refused without waiting.
  const auto start = Clock::now();
  EXPECT_FALSE(net.receiveFrame(4096));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
}

TEST(NetLinkOnLoopback, ClosedConnectionFailsTheReceiveAtOnce) {
  MutePeer peer("127.0.0.75");
  ASSERT_TRUE(peer.ok());
  peer.hangUpOnNext();
  link::NetLink net = link::NetLink::open(processPlatform(), "127.0.0.75");
  ASSERT_TRUE(net.isOpen());
  const auto start = Clock::now();
  EXPECT_FALSE(net.receiveFrame(1));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace movar::itest
