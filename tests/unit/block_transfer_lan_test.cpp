#include <gtest/gtest.h>

#include <algorithm>

#include "download/block_transfer.h"
#include "download/lan_wire.h"
#include "fakes/block_terminal.h"
#include "fakes/fake_platform.h"
#include "link/handshake.h"
#include "link/net_link.h"

namespace movar::download {
namespace {

using fake::BlockTerminal;
using fake::FakePlatform;
using fake::MemorySink;


struct LanRun {
  FakePlatform f;
  std::shared_ptr<BlockTerminal> terminal;
  MemorySink sink;
  TransferResult result;

  explicit LanRun(std::uint32_t records) : terminal(std::make_shared<BlockTerminal>(records)) {}

  LanRun& run() {
    f.network.attach("10.0.0.7", std::make_shared<fake::LanTerminal>(terminal));
    link::NetLink net = link::NetLink::open(f.platform, "10.0.0.7");
    EXPECT_TRUE(net.sendPreamble(0xFA, 0x01));
    EXPECT_TRUE(net.receiveFrame(1));
    net.sendByte(0x15);
    LanWire wire(f.clock, net);
    result = runBlockTransfer(lanVariant(), wire, sink);
    return *this;
  }
  Bytes answers() const {
    const Bytes& all = terminal->hostBytes;
    return all.empty() ? all : Bytes(all.begin() + 1, all.end());
  }
};

TEST(LanBlockTransfer, GoodTransferAndItsBytes) {
  LanRun r(1000);
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, fake::recordBytes(0, 1000));
  Bytes expected(1 + 36, 0x06);
  expected.push_back(0x15);
  EXPECT_EQ(r.answers(), expected);
  // Every receive is bounded.
  for (Millis limit : r.f.network.receiveLimits) EXPECT_EQ(limit, link::kDefaultReceiveLimit);
}

TEST(LanBlockTransfer, FiveBadCheckBytesAreRefusedWith15TheSixthFails) {
  for (int bad : {5, 6}) {
    LanRun r(56);
    r.terminal->fault = [bad](std::size_t i, int n, Bytes& bytes, Millis&) {
      if (i == 2 && n < bad) bytes.back() ^= 0x40;
    };
    r.run();
    EXPECT_EQ(r.result.success, bad == 5) << bad;
    if (bad == 5) {
      EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x15, 0x15, 0x15, 0x15, 0x15, 0x06, 0x15}));
      EXPECT_EQ(r.sink.stored, r.terminal->payload());
    } else {
      EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x15, 0x15, 0x15, 0x15, 0x15}));
      EXPECT_EQ(r.sink.stored, fake::recordBytes(0, 28));  // what came before stays
    }
  }
}

TEST(LanBlockTransfer, Kind3AndCountZero) {
  LanRun big(65541);
  big.run();
  EXPECT_TRUE(big.result.success);
  EXPECT_EQ(big.result.announced, 65541u);
  EXPECT_EQ(big.sink.stored, big.terminal->payload());
  LanRun none(0);
  none.run();
  EXPECT_TRUE(none.result.success);
  EXPECT_EQ(none.answers(), Bytes{0x06});
}

TEST(LanBlockTransfer, HeadOrNumberFaultsEndTheTransferUnanswered) {
  const std::vector<std::function<void(LanRun&)>> faults = {
      [](LanRun& r) { r.terminal->blocks[0][7] ^= 1; },              // header sum
      [](LanRun& r) { r.terminal->blocks[2][2] ^= 1; },              // number complement
      [](LanRun& r) { r.terminal->repeatAfterAck = {1}; },           // repeated block
      [](LanRun& r) { r.terminal->blocks[2] = r.terminal->blocks[3]; },  // block ahead
      [](LanRun& r) { r.terminal->blocks.back()[4] ^= 1; },          // end head
  };
  const std::vector<Bytes> answers = {{}, {0x06, 0x06}, {0x06, 0x06}, {0x06, 0x06}, {0x06, 0x06, 0x06, 0x06}};
  for (std::size_t i = 0; i < faults.size(); ++i) {
    LanRun r(28 * 3);
    faults[i](r);
    r.run();
    EXPECT_FALSE(r.result.success) << i;
    EXPECT_EQ(r.answers(), answers[i]) << i;
  }
}

TEST(LanBlockTransfer, EndBlockCheckOrSumWrongIsClosedWith15AndFails) {
  LanRun pattern(28);
  pattern.terminal->blocks.back()[10] = 0;
  pattern.run();
  EXPECT_FALSE(pattern.result.success);
  EXPECT_EQ(pattern.answers(), (Bytes{0x06, 0x06, 0x15}));
  LanRun sum(28);
  sum.terminal->blocks.back() = fake::endBlock(2, 1);
  sum.run();
  EXPECT_FALSE(sum.result.success);
  EXPECT_EQ(sum.answers(), (Bytes{0x06, 0x06, 0x15}));
}

TEST(LanBlockTransfer, ClosedSilentOrOverlongTerminalFailsWithinTheReceiveLimit) {
  LanRun closed(28 * 4);
  closed.terminal->closeAt = 3;
  closed.run();
  EXPECT_FALSE(closed.result.success);
  EXPECT_EQ(closed.sink.stored, fake::recordBytes(0, 56));

  LanRun silent(28 * 4);
  silent.terminal->fault = [](std::size_t i, int, Bytes& bytes, Millis&) {
    if (i == 2) bytes.resize(40);  // stops in the middle of a block
  };
  const Millis before = silent.f.clock.now();
  silent.run();
  EXPECT_FALSE(silent.result.success);
  EXPECT_LE(silent.f.clock.now() - before, 10'100);
  EXPECT_EQ(silent.sink.stored, fake::recordBytes(0, 28));

  LanRun extra(28 * 2);
  extra.terminal->fault = [](std::size_t i, int, Bytes& bytes, Millis&) {
    if (i == 1) bytes.insert(bytes.end(), {0x01, 0x02});
  };
  extra.run();
  EXPECT_FALSE(extra.result.success);
  EXPECT_EQ(extra.answers(), Bytes{0x06});
}

TEST(LanBlockTransfer, AllAtOnceAndByteByByteGiveTheSameFile) {
  LanRun whole(500);
  whole.run();
  LanRun trickle(500);
  trickle.terminal->perByte = 1;
  trickle.run();
  EXPECT_TRUE(whole.result.success);
  EXPECT_TRUE(trickle.result.success);
  EXPECT_EQ(trickle.sink.stored, whole.sink.stored);
  EXPECT_EQ(trickle.answers(), whole.answers());
  EXPECT_GT(trickle.f.network.receiveLimits.size(), 500u * 6);  // one receive per byte
}

}  // namespace
}  // namespace movar::download
