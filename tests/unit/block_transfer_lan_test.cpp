#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "download/block_transfer.h"
#include "download/lan_wire.h"
#include "fakes/fake_platform.h"
#include "fakes/memory_sink.h"
#include "fakes/sim_terminal.h"
#include "link/handshake.h"
#include "link/net_link.h"

namespace movar::download {
namespace {

using fake::FakePlatform;
using sim::BlockFault;
using Kind = sim::BlockFault::Kind;
using ::testing::AllOf;
using ::testing::Each;
using ::testing::IsEmpty;
using ::testing::Not;

Bytes lanRecords(std::uint32_t count) { return sim::RecordMemory::records(0, count); }

struct LanRun {
  FakePlatform f;
  fake::SimTerminal t;
  fake::MemorySink sink;
  TransferResult result;

  explicit LanRun(std::uint32_t n, std::vector<BlockFault> faults = {},
                  sim::TerminalConfig config = {})
      : t(std::move(config)) {
    t.memory.fill(n);
    t.memory.script(std::move(faults));
    t.on(f.network, "10.0.0.7");
  }

  LanRun& run() {
    link::NetLink net = link::NetLink::open(f.platform, "10.0.0.7");
    EXPECT_TRUE(net.sendPreamble(0xFA, 0x01));
    EXPECT_TRUE(net.receiveFrame(1));
    net.sendByte(0x15);
    LanWire wire(f.clock, net);
    result = runBlockTransfer(lanVariant(), wire, sink);
    return *this;
  }
  // What the host sent after the preamble and its start request.
  Bytes answers() const { return t.received(link::kPreambleSize + 1); }
};

TEST(LanBlockTransfer, GoodTransferAndItsBytes) {
  LanRun r(1000);
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, lanRecords(1000));
  Bytes expected(1 + 36, 0x06);
  expected.push_back(0x15);
  EXPECT_EQ(r.answers(), expected);
  // Every receive is bounded.
  EXPECT_THAT(r.f.network.receiveLimits, AllOf(Not(IsEmpty()), Each(link::kDefaultReceiveLimit)));
}

TEST(LanBlockTransfer, FiveBadCheckBytesAreRefusedWith15TheSixthFails) {
  for (int bad : {5, 6}) {
    LanRun r(56, {{.block = 2, .kind = Kind::DamagedCheck, .times = bad}});
    r.run();
    EXPECT_EQ(r.result.success, bad == 5) << bad;
    if (bad == 5) {
      EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x15, 0x15, 0x15, 0x15, 0x15, 0x06, 0x15}));
      EXPECT_EQ(r.sink.stored, lanRecords(56));
    } else {
      EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x15, 0x15, 0x15, 0x15, 0x15}));
      EXPECT_EQ(r.sink.stored, lanRecords(28));  // what came before stays
    }
  }
}

TEST(LanBlockTransfer, Kind3AndCountZero) {
  LanRun big(65541);
  big.run();
  EXPECT_TRUE(big.result.success);
  EXPECT_EQ(big.result.announced, 65541u);
  EXPECT_EQ(big.sink.stored, lanRecords(65541));
  LanRun none(0);
  none.run();
  EXPECT_TRUE(none.result.success);
  EXPECT_EQ(none.answers(), Bytes{0x06});
}

TEST(LanBlockTransfer, HeadOrNumberFaultsEndTheTransferUnanswered) {
  // 84 records: 0 header, 1..3 records, 4 end.
  const std::vector<std::pair<BlockFault, Bytes>> rows = {
      {{.block = 0, .kind = Kind::BentByte, .at = 7, .mask = 1}, {}},             // header sum
      {{.block = 2, .kind = Kind::BentByte, .at = 2, .mask = 1}, {0x06, 0x06}},   // number complement
      {{.block = 1, .kind = Kind::RepeatAfterAck}, {0x06, 0x06}},                 // repeated block
      {{.block = 2, .kind = Kind::WrongNumber}, {0x06, 0x06}},                    // block ahead
      {{.block = 4, .kind = Kind::BentByte, .at = 4, .mask = 1}, {0x06, 0x06, 0x06, 0x06}},  // end head
  };
  for (const auto& [fault, answers] : rows) {
    LanRun r(28 * 3, {fault});
    r.run();
    EXPECT_FALSE(r.result.success) << static_cast<int>(fault.kind);
    EXPECT_EQ(r.answers(), answers) << static_cast<int>(fault.kind);
  }
}

TEST(LanBlockTransfer, EndBlockCheckPatternOrSumWrongIsClosedWith15AndFails) {
  for (const BlockFault& fault : {BlockFault{.block = 2, .kind = Kind::BentByte, .at = 10, .mask = 0xAA},
                                  BlockFault{.block = 2, .kind = Kind::BentButChecked, .at = 7, .mask = 0x01},
                                  BlockFault{.block = 2, .kind = Kind::WrongSum}}) {
    LanRun r(28, {fault});
    r.run();
    EXPECT_FALSE(r.result.success);
    EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x15}));
  }
}

TEST(LanBlockTransfer, SilentOrOverlongTerminalFailsWithinTheReceiveLimit) {
  LanRun silent(28 * 4, {{.block = 2, .kind = Kind::Cut, .keep = 40}});  // stops inside a block
  silent.run();
  EXPECT_FALSE(silent.result.success);
  EXPECT_EQ(silent.f.clock.now(), link::kDefaultReceiveLimit);  // no time passed before it
  EXPECT_EQ(silent.sink.stored, lanRecords(28));

  LanRun extra(28 * 2, {{.block = 1, .kind = Kind::ExtraBytes, .extra = 2}});
  extra.run();
  EXPECT_FALSE(extra.result.success);
  EXPECT_EQ(extra.answers(), Bytes{0x06});
}

// Every receive takes a byte that comes exactly at its limit, and fails one millisecond later.
TEST(LanBlockTransfer, EveryReceiveHoldsToItsLimitAndNoLonger) {
  for (std::size_t block : {0u, 2u, 4u}) {  // header, a record block, the end block
    for (Millis stall : {link::kDefaultReceiveLimit, link::kDefaultReceiveLimit + 1}) {
      LanRun r(28 * 3, {{.block = block, .kind = Kind::Stall, .stall = sim::Millis{stall}}});
      r.run();
      EXPECT_EQ(r.result.success, stall == link::kDefaultReceiveLimit) << block << " " << stall;
    }
  }
}

TEST(LanBlockTransfer, AllAtOnceAndByteByByteGiveTheSameFile) {
  LanRun whole(500);
  whole.run();
  LanRun trickle(500, {}, {.byteGap = sim::Millis{1}});
  trickle.run();
  EXPECT_TRUE(whole.result.success);
  EXPECT_TRUE(trickle.result.success);
  EXPECT_EQ(trickle.sink.stored, whole.sink.stored);
  EXPECT_EQ(trickle.answers(), whole.answers());
  EXPECT_GT(trickle.f.network.receiveLimits.size(), 500u * 6);  // one receive per byte
}

}  // namespace
}  // namespace movar::download
