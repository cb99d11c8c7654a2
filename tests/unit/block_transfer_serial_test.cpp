#include <gtest/gtest.h>

#include <algorithm>

#include "download/block_transfer.h"
#include "download/serial_wire.h"
#include "fakes/fake_platform.h"
#include "fakes/memory_sink.h"
#include "fakes/sim_terminal.h"
#include "link/handshake.h"

namespace movar::download {
namespace {

using fake::FakePlatform;
using sim::BlockFault;
using Kind = sim::BlockFault::Kind;

Bytes serialRecords(std::uint32_t count) { return sim::RecordMemory::records(0, count); }

struct SerialRun {
  FakePlatform f;
  fake::SimTerminal t;
  fake::MemorySink sink;
  TransferResult result;
  Millis startedAt = 0;
  std::size_t startWrite = 0;  // index of the start request among the host's writes

  explicit SerialRun(std::uint32_t n, std::vector<BlockFault> faults = {},
                     sim::TerminalConfig config = {})
      : t(std::move(config)) {
    t.memory.fill(n);
    t.memory.script(std::move(faults));
    t.on(f.serial, 1);
  }

  SerialRun& run() {
    auto found = link::findTerminal(f.platform, 1, 0x01, link::serialSearch(1000), 1);
    EXPECT_TRUE(found.has_value());
    startedAt = f.clock.now();
    startWrite = f.serial.writes.size();
    link::writeByte(*found->line, 0x15);
    SerialWire wire(f.clock, *found->line);
    result = runBlockTransfer(serialVariant(), wire, sink);
    return *this;
  }
  // What the host wrote after the preamble and its start request.
  Bytes answers() const { return t.received(link::kPreambleSize + 1); }
  Millis timeOfAnswer(std::size_t i) const {  // i-th host write after the start request
    const std::size_t at = startWrite + 1 + i;
    return at < f.serial.writes.size() ? f.serial.writes[at].at : -1;
  }
};

Bytes repeated(std::uint8_t byte, std::size_t n) { return Bytes(n, byte); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(SerialBlockTransfer, GoodTransferStoresEveryPayloadAndClosesWith15) {
  SerialRun r(30);  // a full block (168 bytes) and a 12-byte block
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_EQ(r.result.announced, 30u);
  EXPECT_EQ(r.sink.stored, serialRecords(30));
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x06, 0x15}));
  EXPECT_EQ(r.sink.positions, (std::vector<int>{93, 100}));
  // No stray byte: the 1 s wait passes, no 16 s pause.
  EXPECT_EQ(std::count(r.f.clock.sleeps.begin(), r.f.clock.sleeps.end(), 16'000), 0);
}

TEST(SerialBlockTransfer, ShortAndFullBlocksAreCompleteAtTheirOwnLength) {
  SerialRun r(30, {}, {.answerDelay = sim::Millis{3}});
  r.run();
  ASSERT_TRUE(r.result.success);
  // Block 1 (byte 3 = 168) fills the 174-byte read and is answered at once; block 2 (byte 3 = 12)
  // is complete at 18 bytes, answered when the read ends on the line's 5 ms gap.
  const Millis header = r.startedAt + 3;
  EXPECT_EQ(r.timeOfAnswer(0), header);
  EXPECT_EQ(r.timeOfAnswer(1), header + 3);
  EXPECT_EQ(r.timeOfAnswer(2), header + 6 + 5);
}

TEST(SerialBlockTransfer, CountZeroSucceedsAtOnce) {
  SerialRun r(0);
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_EQ(r.result.announced, 0u);
  EXPECT_TRUE(r.sink.stored.empty());
  EXPECT_EQ(r.answers(), Bytes{0x06});
}

TEST(SerialBlockTransfer, Kind3HeaderAddsAPageOfRecords) {
  SerialRun r(65541);  // header 01 00 FF 03 FC 00 05 05
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_EQ(r.result.announced, 65541u);
  EXPECT_EQ(r.sink.stored, serialRecords(65541));
}

TEST(SerialBlockTransfer, RepeatedBlocksAreAcknowledgedAndNotStored) {
  // 257 record blocks: numbers wrap from 255 to 0.
  SerialRun r(28 * 256 + 3, {{.block = 4, .kind = Kind::RepeatAfterAck},
                             {.block = 255, .kind = Kind::RepeatAfterAck}});
  r.run();
  ASSERT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, serialRecords(28 * 256 + 3));
  // 257 blocks + 2 repeats, all answered 06, then 15 for the end block.
  EXPECT_EQ(r.answers(), concat({repeated(0x06, 1 + 257 + 2), {0x15}}));
}

TEST(SerialBlockTransfer, BlockNumberedAheadIsRefusedWith15) {
  SerialRun r(28 * 4, {{.block = 3, .kind = Kind::WrongNumber}});
  r.run();
  ASSERT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, serialRecords(28 * 4));
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x06, 0x15, 0x06, 0x06, 0x15}));
}

TEST(SerialBlockTransfer, DamagedBlockIsFlushedFor40And10MsBeforeTheResend) {
  SerialRun r(56, {{.block = 2, .kind = Kind::DamagedCheck}});
  r.run();
  ASSERT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, serialRecords(56));
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0xF9, 0x06, 0x15}));
  // The damaged block is complete when its 174th byte arrives, with the 06 that asked for it.
  // Then 40 ms, one discarding read of 256 bytes on a quiet line (5 * 256 + 5 ms), 10 ms, one
  // more such read, and F9; 10 ms later the host reads again and the resent block is there.
  constexpr Millis kQuietRead = 5 * 256 + 5;
  EXPECT_EQ(r.timeOfAnswer(2) - r.timeOfAnswer(1), 40 + kQuietRead + 10 + kQuietRead);
  EXPECT_EQ(r.timeOfAnswer(3) - r.timeOfAnswer(2), 10);
}

TEST(SerialBlockTransfer, FifteenDamagedReceptionsAreRetriedTheSixteenthCancels) {
  for (int damaged : {15, 16}) {
    SerialRun r(28, {{.block = 1, .kind = Kind::DamagedCheck, .times = damaged}});
    r.run();
    EXPECT_EQ(r.result.success, damaged == 15) << damaged;
    const Bytes answers = r.answers();
    EXPECT_EQ(std::count(answers.begin(), answers.end(), 0xF9), 15) << damaged;
    EXPECT_EQ(answers.back(), damaged == 15 ? 0x15 : 0x18) << damaged;
  }
}

TEST(SerialBlockTransfer, ThirtyShortBlocksAreRetriedTheThirtyFirstCancels) {
  SerialRun r(28, {{.block = 1, .kind = Kind::Cut, .times = 31, .keep = 7}});
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_EQ(r.answers(), concat({{0x06}, repeated(0xF9, 30), {0x18}}));
  EXPECT_TRUE(r.sink.stored.empty());
}

TEST(SerialBlockTransfer, InvalidHeadersAreAskedForFifteenTimesThenCancelled) {
  SerialRun r(28, {{.block = 0, .kind = Kind::BentByte, .times = 16, .at = 7, .mask = 0x01}});
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_EQ(r.answers(), concat({repeated(0xF9, 15), {0x18}}));
}

TEST(SerialBlockTransfer, SilentHeaderFailsAfterTenSecondsWithNothingSent) {
  SerialRun r(28, {{.block = 0, .kind = Kind::Silence}});
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_TRUE(r.answers().empty());
  EXPECT_GT(r.f.clock.now() - r.startedAt, 10'000);
  EXPECT_LT(r.f.clock.now() - r.startedAt, 10'100);
}

TEST(SerialBlockTransfer, OnePauseOverTwoSecondsFailsEvenWhenEveryBlockArrives) {
  SerialRun r(28 * 5, {{.block = 3, .kind = Kind::Stall, .stall = sim::Millis{2'500}}});
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_TRUE(r.result.stalled);
  EXPECT_EQ(r.sink.stored, serialRecords(28 * 5));  // every block came in the end
  const Bytes answers = r.answers();
  EXPECT_EQ(answers.back(), 0x06);  // the end block is never answered
  EXPECT_EQ(std::count(answers.begin(), answers.end(), 0x18), 0);
}

// A wait takes a byte until the read running when its limit passes has ended (10 ms for one
// byte; the reads shrink towards the limit). One millisecond later the byte is too late.
TEST(SerialBlockTransfer, EveryWaitHoldsToItsLimitAndNoLonger) {
  struct Row {
    const char* wait;
    std::size_t block;  // of 140 records: 0 header, 1..5 records, 6 end
    Millis lastTaken;
  };
  for (const Row& row : {Row{"header", 0, 10'010}, {"record block", 3, 2'010}, {"end block", 6, 2'005}}) {
    for (Millis stall : {row.lastTaken, row.lastTaken + 1}) {
      SerialRun r(28 * 5, {{.block = row.block, .kind = Kind::Stall, .stall = sim::Millis{stall}}});
      r.run();
      EXPECT_EQ(r.result.success, stall == row.lastTaken) << row.wait << " " << stall;
    }
  }
}

TEST(SerialBlockTransfer, StrayByteWithinASecondOfTheEndDelaysTheReturnBy16Seconds) {
  for (Millis delay : {1'010, 1'011}) {
    SerialRun r(28);
    r.t.memory.strayAfterClose({0x06}, sim::Millis{delay});
    r.run();
    EXPECT_TRUE(r.result.success);
    const Millis sinceClose = r.f.clock.now() - r.timeOfAnswer(2);
    if (delay == 1'010) {
      EXPECT_EQ(r.f.clock.sleeps.back(), 16'000);
      EXPECT_EQ(sinceClose, delay + 16'000);
    } else {
      EXPECT_EQ(std::count(r.f.clock.sleeps.begin(), r.f.clock.sleeps.end(), 16'000), 0);
      EXPECT_EQ(sinceClose, 1'010);  // the wait's last read
    }
  }
}

// An invalid end block has no second chance; one with the wrong transfer sum is closed with 15
// all the same.
TEST(SerialBlockTransfer, EndBlockFaults) {
  const std::pair<BlockFault, Bytes> rows[] = {
      {{.block = 2, .kind = Kind::BentByte, .at = 9, .mask = 0x55}, {0x06, 0x06, 0x18}},
      {{.block = 2, .kind = Kind::BentButChecked, .at = 16, .mask = 0x01}, {0x06, 0x06, 0x18}},  // pattern
      {{.block = 2, .kind = Kind::WrongSum}, {0x06, 0x06, 0x15}},
  };
  for (const auto& [fault, answers] : rows) {
    SerialRun r(28, {fault});
    r.run();
    EXPECT_FALSE(r.result.success) << static_cast<int>(fault.kind);
    EXPECT_EQ(r.answers(), answers) << static_cast<int>(fault.kind);
  }
}

TEST(SerialBlockTransfer, BytesBeyondTheBlockFailWithNothingSent) {
  SerialRun r(30, {{.block = 2, .kind = Kind::ExtraBytes, .extra = 3}});  // block 2 is 18 bytes
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06}));
}

TEST(SerialBlockTransfer, LengthByteAbove168StaysInsideTheBlockBuffer) {
  SerialRun r(28, {{.block = 1, .kind = Kind::LongPayload, .extra = 255 - 168}});  // 261 bytes
  r.run();
  EXPECT_EQ(r.sink.stored.size(), 255u);
}

TEST(SerialBlockTransfer, RecordFileWriteFailureCancels) {
  SerialRun r(28);
  r.sink.failWrites = true;
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x18}));
}

TEST(SerialBlockTransfer, AllAtOnceAndByteByByteGiveTheSameFile) {
  SerialRun whole(1000);
  whole.run();
  SerialRun trickle(1000, {}, {.byteGap = sim::Millis{3}});  // gaps below the line's 5 ms timeout
  trickle.run();
  SerialRun slow(1000, {}, {.byteGap = sim::Millis{7}});  // every byte its own read
  slow.run();
  for (auto* r : {&whole, &trickle, &slow}) {
    EXPECT_TRUE(r->result.success);
    EXPECT_EQ(r->sink.stored, serialRecords(1000));
    EXPECT_EQ(r->answers(), whole.answers());
  }
}

}  // namespace
}  // namespace movar::download
