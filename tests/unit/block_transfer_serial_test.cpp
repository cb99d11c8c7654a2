#include <gtest/gtest.h>

#include <algorithm>

#include "download/block_transfer.h"
#include "download/serial_wire.h"
#include "fakes/block_terminal.h"
#include "fakes/fake_platform.h"
#include "link/handshake.h"

namespace movar::download {
namespace {

using fake::BlockTerminal;
using fake::FakePlatform;
using fake::MemorySink;


struct SerialRun {
  FakePlatform f;
  std::shared_ptr<BlockTerminal> terminal;
  MemorySink sink;
  TransferResult result;
  Millis startedAt = 0;

  explicit SerialRun(std::uint32_t records) : terminal(std::make_shared<BlockTerminal>(records)) {}

  SerialRun& run() {
    f.serial.attach(1, fake::serialTerminal(terminal));
    auto found = link::findTerminal(f.platform, 1, 0x01, link::serialSearch(1000), 1);
    EXPECT_TRUE(found.has_value());
    startedAt = f.clock.now();
    link::writeByte(*found->line, 0x15);
    SerialWire wire(f.clock, *found->line);
    result = runBlockTransfer(serialVariant(), wire, sink);
    return *this;
  }
  // Host bytes after the start request, answers only.
  Bytes answers() const {
    const Bytes& all = terminal->hostBytes;
    return all.empty() ? all : Bytes(all.begin() + 1, all.end());
  }
  Millis timeOfAnswer(std::size_t i) const {  // i-th host write after the start request
    std::size_t seen = 0;
    for (const auto& w : f.serial.writes) {
      if (w.at < startedAt) continue;
      if (seen++ == i + 1) return w.at;
    }
    return -1;
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
  EXPECT_EQ(r.sink.stored, fake::recordBytes(0, 30));
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x06, 0x15}));
  EXPECT_EQ(r.sink.positions, (std::vector<int>{93, 100}));
  // No stray byte: the 1 s wait passes, no 16 s pause.
  EXPECT_EQ(std::count(r.f.clock.sleeps.begin(), r.f.clock.sleeps.end(), 16'000), 0);
}

TEST(SerialBlockTransfer, ShortAndFullBlocksAreCompleteAtTheirOwnLength) {
  SerialRun r(30);
  r.terminal->delay = 3;
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
  SerialRun r(65541);
  EXPECT_EQ(r.terminal->blocks[0], fake::headerBlock(3, 0x00, 0x05));
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_EQ(r.result.announced, 65541u);
  EXPECT_EQ(r.sink.stored.size(), 65541u * 6);
  EXPECT_EQ(r.sink.stored, r.terminal->payload());
}

TEST(SerialBlockTransfer, RepeatedBlocksAreAcknowledgedAndNotStored) {
  SerialRun r(28 * 256 + 3);  // 257 record blocks: numbers wrap from 255 to 0
  r.terminal->repeatAfterAck = {4, 255};
  r.run();
  ASSERT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, r.terminal->payload());
  // 257 blocks + 2 repeats, all answered 06, then 15 for the end block.
  Bytes expected = repeated(0x06, 1 + 257 + 2);
  expected.push_back(0x15);
  EXPECT_EQ(r.answers(), expected);
}

TEST(SerialBlockTransfer, BlockNumberedAheadIsRefusedWith15) {
  SerialRun r(28 * 4);
  r.terminal->fault = [&](std::size_t i, int n, Bytes& bytes, Millis&) {
    if (i == 3 && n == 0) bytes = r.terminal->blocks[4];  // block k + 1
  };
  r.run();
  ASSERT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, r.terminal->payload());
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x06, 0x15, 0x06, 0x06, 0x15}));
}

TEST(SerialBlockTransfer, DamagedBlockIsFlushedFor40And10MsBeforeTheResend) {
  SerialRun r(56);
  r.terminal->fault = [](std::size_t i, int n, Bytes& bytes, Millis&) {
    if (i == 2 && n == 0) bytes.back() ^= 0xFF;
  };
  r.run();
  ASSERT_TRUE(r.result.success);
  EXPECT_EQ(r.sink.stored, r.terminal->payload());
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0xF9, 0x06, 0x15}));
  // Damaged block 2 is complete at the header + block 1 + its own arrival; F9 follows at least
  // 40 ms + 10 ms of flushing later, then a 10 ms pause before anything else.
  const Millis damagedDone = r.timeOfAnswer(1) + 1;
  EXPECT_GE(r.timeOfAnswer(2) - damagedDone, 50);
  EXPECT_GE(r.timeOfAnswer(3) - r.timeOfAnswer(2), 10);
}

TEST(SerialBlockTransfer, FifteenDamagedReceptionsAreRetriedTheSixteenthCancels) {
  for (int damaged : {15, 16}) {
    SerialRun r(28);
    r.terminal->fault = [damaged](std::size_t i, int n, Bytes& bytes, Millis&) {
      if (i == 1 && n < damaged) bytes.back() ^= 0x01;
    };
    r.run();
    EXPECT_EQ(r.result.success, damaged == 15) << damaged;
    const Bytes answers = r.answers();
    EXPECT_EQ(std::count(answers.begin(), answers.end(), 0xF9), 15) << damaged;
    EXPECT_EQ(answers.back(), damaged == 15 ? 0x15 : 0x18) << damaged;
  }
}

TEST(SerialBlockTransfer, ThirtyShortBlocksAreRetriedTheThirtyFirstCancels) {
  SerialRun r(28);
  r.terminal->fault = [](std::size_t i, int, Bytes& bytes, Millis&) {
    if (i == 1) bytes.resize(7);
  };
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_EQ(r.answers(), concat({{0x06}, repeated(0xF9, 30), {0x18}}));
  EXPECT_TRUE(r.sink.stored.empty());
}

TEST(SerialBlockTransfer, InvalidHeadersAreAskedForFifteenTimesThenCancelled) {
  SerialRun r(28);
  r.terminal->fault = [](std::size_t i, int, Bytes& bytes, Millis&) {
    if (i == 0) bytes[7] ^= 0x01;
  };
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_EQ(r.answers(), concat({repeated(0xF9, 15), {0x18}}));
}

TEST(SerialBlockTransfer, SilentHeaderFailsAfterTenSecondsWithNothingSent) {
  SerialRun r(28);
  r.terminal->blocks.clear();
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_TRUE(r.answers().empty());
  EXPECT_GT(r.f.clock.now() - r.startedAt, 10'000);
  EXPECT_LT(r.f.clock.now() - r.startedAt, 10'100);
}

TEST(SerialBlockTransfer, OnePauseOverTwoSecondsFailsEvenWhenEveryBlockArrives) {
  SerialRun r(28 * 5);
  r.terminal->fault = [](std::size_t i, int n, Bytes&, Millis& delay) {
    if (i == 3 && n == 0) delay = 2'500;
  };
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_TRUE(r.result.stalled);
  EXPECT_EQ(r.sink.stored, r.terminal->payload());  // every block came in the end
  const Bytes answers = r.answers();
  EXPECT_EQ(answers.back(), 0x06);  // the end block is never answered
  EXPECT_EQ(std::count(answers.begin(), answers.end(), 0x18), 0);
}

TEST(SerialBlockTransfer, PauseJustUnderTwoSecondsIsNoStall) {
  SerialRun r(28 * 5);
  r.terminal->fault = [](std::size_t i, int n, Bytes&, Millis& delay) {
    if (i == 3 && n == 0) delay = 1'990;
  };
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_FALSE(r.result.stalled);
}

TEST(SerialBlockTransfer, StrayByteAfterTheEndDelaysTheReturnBy16Seconds) {
  SerialRun r(28);
  r.terminal->afterClose = {0x06};
  r.run();
  EXPECT_TRUE(r.result.success);
  EXPECT_EQ(r.f.clock.sleeps.back(), 16'000);
  EXPECT_GE(r.f.clock.now() - r.timeOfAnswer(2), 16'000);
}

TEST(SerialBlockTransfer, EndBlockFaults) {
  {  // damaged end block: cancelled, no second chance
    SerialRun r(28);
    r.terminal->fault = [](std::size_t i, int, Bytes& bytes, Millis&) {
      if (i == 2) bytes[9] = 0x00;
    };
    r.run();
    EXPECT_FALSE(r.result.success);
    EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x18}));
  }
  {  // transfer sum differs: closed with 15 all the same
    SerialRun r(28);
    r.terminal->blocks.back() = fake::endBlock(2, 0x1234);
    r.run();
    EXPECT_FALSE(r.result.success);
    EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06, 0x15}));
  }
}

TEST(SerialBlockTransfer, BytesBeyondTheBlockFailWithNothingSent) {
  SerialRun r(56);
  r.terminal->fault = [](std::size_t i, int, Bytes& bytes, Millis&) {
    if (i == 2) bytes.insert(bytes.end(), {0x00, 0x00, 0x00});
  };
  r.terminal->blocks[2] = fake::recordBlock(2, fake::recordBytes(28, 2));  // short block (18 bytes)
  r.run();
  EXPECT_FALSE(r.result.success);
  EXPECT_EQ(r.answers(), (Bytes{0x06, 0x06}));
}

TEST(SerialBlockTransfer, LengthByteAbove168StaysInsideTheBlockBuffer) {
  SerialRun r(28);
  r.terminal->blocks[1] = fake::recordBlock(1, Bytes(255, 0x11));  // 261 bytes announced
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
  whole.terminal->delay = 0;
  whole.run();
  SerialRun trickle(1000);
  trickle.terminal->perByte = 3;  // gaps below the line's 5 ms read timeout
  trickle.run();
  SerialRun slow(1000);
  slow.terminal->perByte = 7;  // every byte its own read
  slow.run();
  for (auto* r : {&whole, &trickle, &slow}) {
    EXPECT_TRUE(r->result.success);
    EXPECT_EQ(r->sink.stored, whole.terminal->payload());
    EXPECT_EQ(r->answers(), whole.answers());
  }
}

}  // namespace
}  // namespace movar::download
