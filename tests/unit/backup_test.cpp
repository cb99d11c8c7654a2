// The backup transfer against the simulator's device in virtual time: the exact frames on the
// wire, the file it leaves, and every fault ending in bounded time.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "backup/backup_frame.h"
#include "backup/transfer.h"
#include "backup_device.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "settings/rows.h"
#include "settings/runner.h"
#include "terminal_settings.h"

namespace movar::backup {
namespace {

using fake::hex;
using sim::BackupDevice;

Bytes counting(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return b;
}

constexpr const char* kOpen = "02 14 00 10 00 00 00 01 00 00 00 FC 00 01 00 00 D9 03 ";
constexpr const char* kConfirm = "02 14 00 10 00 00 00 01 00 00 00 FC 00 04 00 02 D4 03 ";
constexpr const char* kRead = "02 14 00 10 00 03 00 00 00 00 00 FC 00 00 00 00 A1 01 34 02 03 ";
constexpr const char* kResultAck = "02 14 00 10 00 00 00 00 00 00 00 FC 00 04 00 04 D3 03";
const std::string kPath = "C:\\host\\zwbak.txt";

struct Rig {
  fake::FakePlatform f;
  fake::SimTerminal device;
  Rig() { device.on(f.serial, 1); }
  BackupDevice& backup() { return device.terminal.part<BackupDevice>(); }
  BackupDevice::State state() { return backup().state(); }
  Bytes written() const { return f.serial.allWritten(); }
};

TEST(BackupFrame, BuildsTheFramesTheLibrarySends) {
  const FrameHead sixteen{.length = 16, .sequence = 1};
  const std::pair<Bytes, const char*> rows[] = {
      {openingRequest(), kOpen},
      {openingConfirmation(0x0001), kConfirm},
      {openingConfirmation(0x01FF), "02 14 00 10 00 00 00 01 00 00 00 FC 00 04 01 00 D5 03"},
      {readRequest(), kRead},
      {receiveAcknowledgement(0, sixteen, false),
       "02 14 00 10 00 00 00 00 00 00 00 FC 00 04 00 11 C6 03"},
      {receiveAcknowledgement(1, {.length = 976, .sequence = 1}, true),
       "02 14 00 10 00 00 00 01 00 00 00 FC 00 14 03 D1 F2 03"},
      {dataFrame(0, false, hex("01 36 02 AA")),
       "02 14 00 10 00 04 00 01 00 00 00 FC 00 00 00 00 F3 01 36 02 AA 03"},
      {dataFrame(1, false, {}), "02 14 00 10 00 00 00 01 00 00 01 FC 00 00 00 00 D9 03"},
      {resultAcknowledgement({.length = 3, .sequence = 1}), kResultAck},
  };
  for (const auto& [built, expected] : rows) EXPECT_EQ(built, hex(expected)) << expected;
}

TEST(BackupFrame, ParserTakesOnlyWholeFramesWithTheirChecksum) {
  const Bytes good = hex("02 14 00 10 00 04 00 01 01 00 00 FC 00 00 00 00 F2 01 36 02 AA 03");
  const std::optional<Frame> frame = parseFrame(good);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->head.length, 4);
  EXPECT_EQ(frame->head.more, 1);
  EXPECT_EQ(Bytes(frame->payload.begin(), frame->payload.end()), hex("01 36 02 AA"));
  Bytes bad = good;
  bad[18] ^= 1;
  EXPECT_FALSE(parseFrame(bad));
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_FALSE(parseFrame(longer));
  for (std::size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(parseFrame({good.data(), n})) << n;
}

TEST(BackupReceive, ConfirmsTheOpeningStoresTheFramesAndMarksTheFile) {
  Rig rig;
  const Bytes data = counting(2000);
  rig.backup().script({.openFlags = 0x05, .data = data});
  EXPECT_EQ(receiveBackup(rig.f.platform, 1), 0);
  // Two frames of 1024 and 976 bytes, each acknowledged with the count before it.
  EXPECT_EQ(rig.written(), hex(std::string(kOpen) + kConfirm + kRead +
                               "02 14 00 10 00 00 00 00 00 00 00 FC 00 04 04 01 D2 03 "
                               "02 14 00 10 00 00 00 01 00 00 00 FC 00 04 03 D1 02 03"));
  Bytes expected = data;
  std::copy_n(hex("01 36 02").begin(), 3, expected.begin());
  EXPECT_EQ(rig.f.files.contents[kPath], expected);
  EXPECT_TRUE(rig.state().confirmed);
  EXPECT_EQ(rig.f.serial.opens.at(0).settings.baud, 19200);
  EXPECT_EQ(rig.f.serial.opens.at(0).settings.stopBits, 2);
  EXPECT_EQ(rig.f.serial.openLines, 0);
  EXPECT_EQ(rig.f.files.openFiles, 0);
}

TEST(BackupReceive, EveryFrameByteIsFollowedByOneMillisecond) {
  Rig rig;
  rig.backup().script({.data = counting(4)});
  EXPECT_EQ(receiveBackup(rig.f.platform, 1), 0);
  const std::vector<fake::HostWrite>& writes = rig.f.serial.writes;
  ASSERT_EQ(writes.size(), 18u + 21u + 18u);  // opening request, read request, one acknowledgement
  for (std::size_t i = 0; i < writes.size(); ++i) EXPECT_EQ(writes[i].bytes.size(), 1u);
  for (std::size_t i = 1; i < 18; ++i) EXPECT_EQ(writes[i].at - writes[i - 1].at, 1) << i;
}

TEST(BackupReceive, DropsDamagedFramesAndFlagsAChangedSequence) {
  Rig rig;
  const Bytes data = counting(3000);
  rig.backup().script({.data = data, .damaged = {0, 2}, .sequenceChangeAt = 1});
  EXPECT_EQ(receiveBackup(rig.f.platform, 1), 0);
  const std::vector<Bytes> frames = rig.state().hostFrames;
  ASSERT_EQ(frames.size(), 2u + 3u);  // no acknowledgement for the damaged copies
  EXPECT_EQ(frames[2][13], 0x04);
  EXPECT_EQ(frames[3][13], 0x14);
  EXPECT_EQ(frames[4][13], 0x14);
  EXPECT_EQ(frames[4][7], 2);  // two accepted before the third
  EXPECT_EQ(rig.f.files.contents[kPath].size(), data.size());
}

TEST(BackupReceive, ATwoByteReceiveLeavesTheMarkAlone) {
  Rig rig;
  rig.backup().script({.data = hex("AA BB")});
  EXPECT_EQ(receiveBackup(rig.f.platform, 1), 0);
  EXPECT_EQ(rig.f.files.contents[kPath], hex("01 36 02"));
}

struct Fault {
  const char* name;
  BackupDevice::Script script;
  bool silent;           // nothing answers on the port
  Bytes file;            // "zwbak.txt" afterwards; absent when empty and not created
  bool created;
  Millis atMost;
};

TEST(BackupReceive, FaultsEndWithOneInBoundedTime) {
  const Bytes data = counting(2500);
  Bytes firstFrame(data.begin(), data.begin() + 1024);
  std::copy_n(hex("01 36 02").begin(), 3, firstFrame.begin());
  const Fault rows[] = {
      {"silent device", {}, true, {}, false, 10'200},
      {"read request unanswered", {.answerReadRequest = false}, false, {}, false, 30'500},
      {"stall after the first frame", {.data = data, .stallAt = 1}, false, firstFrame, true, 12'000},
      {"stall at once", {.data = data, .stallAt = 0}, false, hex("01 36 02"), true, 12'000},
  };
  for (const Fault& row : rows) {
    Rig rig;
    if (row.silent) rig.f.serial.attachSilent(1);
    rig.backup().script(row.script);
    EXPECT_EQ(receiveBackup(rig.f.platform, 1), 1) << row.name;
    EXPECT_LE(rig.f.clock.now(), row.atMost) << row.name;
    EXPECT_EQ(rig.f.files.contents.count(kPath) != 0, row.created) << row.name;
    if (row.created) {
      EXPECT_EQ(rig.f.files.contents[kPath], row.file) << row.name;
    }
    EXPECT_EQ(rig.f.serial.openLines, 0) << row.name;
  }
}

// Each answer wait takes an answer that comes at its limit, and gives up within one short read
// of the limit when none comes in time.
TEST(BackupLimits, AnswerWaitsOnBothSidesOfTheirLimits) {
  using Delay = std::function<void(BackupDevice::Script&, sim::Millis)>;
  const Delay opening = [](BackupDevice::Script& s, sim::Millis d) { s.openingDelay = d; };
  const struct {
    const char* name;
    bool receive;            // _RXZWFILE, else _TXZWFILE
    std::size_t requestEnd;  // the host write whose answer is awaited
    Millis limit;
    Delay delay;
  } rows[] = {
      {"opening, receive", true, 17, 10'000, opening},
      {"opening, send", false, 17, 10'000, opening},
      {"read request", true, 17 + 21, 20'000,
       [](BackupDevice::Script& s, sim::Millis d) { s.readRequestDelay = d; }},
  };
  for (const auto& row : rows) {
    for (const bool late : {false, true}) {
      Rig rig;
      BackupDevice::Script script{.data = counting(10)};
      row.delay(script, sim::Millis{row.limit + (late ? 50 : 0)});
      rig.backup().script(script);
      rig.f.files.contents[kPath] = counting(10);
      const std::int32_t result =
          row.receive ? receiveBackup(rig.f.platform, 1) : sendBackup(rig.f.platform, 1);
      EXPECT_EQ(result, late ? 1 : 0) << row.name << " " << late;
      if (!late) continue;
      // The wait begins after the pause that follows the request's last byte.
      const Millis waited = rig.f.clock.now() - (rig.f.serial.writes.at(row.requestEnd).at + 1);
      EXPECT_GT(waited, row.limit) << row.name;
      EXPECT_LE(waited, row.limit + 10) << row.name;
    }
  }
}

// A device that answers the opening and the read request, then announces `length` bytes.
class Announcing final : public fake::FakeDevice {
 public:
  explicit Announcing(std::uint16_t length) : length_(length) {}
  void onHostBytes(fake::DeviceLink& link, const Bytes&) override {
    if (++bytes_ == 18) link.reply(buildFrame({.flags = flag::Ack}));
    if (bytes_ != 18 + 21) return;
    link.reply(buildFrame({.flags = flag::Ack, .acknowledged = 3}));
    Bytes frame = buildFrame({}, Bytes(1, 0));
    frame[4] = static_cast<std::uint8_t>(length_ >> 8);
    frame[5] = static_cast<std::uint8_t>(length_);
    frame.resize(2000, 0x55);
    link.reply(frame);
  }

 private:
  std::uint16_t length_;
  int bytes_ = 0;
};

TEST(BackupReceive, AFrameLongerThanTheAreaEndsTheReceive) {
  fake::FakePlatform f;
  f.serial.attach(1, std::make_shared<Announcing>(1588));
  EXPECT_EQ(receiveBackup(f.platform, 1), 1);
  EXPECT_EQ(f.files.contents[kPath], hex("01 36 02"));
}

TEST(BackupReceive, AFileThatCannotBeCreatedOrWrittenEndsWithOne) {
  for (const bool locked : {true, false}) {
    Rig rig;
    rig.backup().script({.data = counting(10)});
    (locked ? rig.f.files.locked : rig.f.files.failWrites).insert(kPath);
    EXPECT_EQ(receiveBackup(rig.f.platform, 1), 1) << locked;
    if (locked) {
      EXPECT_EQ(rig.f.ui.messages, std::vector<std::string>(5, "can not creat zwbak.txt!"));
    } else {
      EXPECT_EQ(rig.state().hostFrames.size(), 2u);  // not acknowledged: opening and read request
    }
  }
}

TEST(BackupReceive, NoPortOpensAfterOnePass) {
  fake::FakePlatform f;
  EXPECT_EQ(receiveBackup(f.platform, 3), 1);
  EXPECT_EQ(f.serial.failedOpens, (std::vector<int>{3, 4, 1, 2}));
}

TEST(BackupSend, AFourByteFileIsOneFrame) {
  Rig rig;
  rig.f.files.contents[kPath] = hex("01 36 02 AA");
  EXPECT_EQ(sendBackup(rig.f.platform, 1), 0);
  EXPECT_EQ(rig.written(),
            hex(std::string(kOpen) +
                "02 14 00 10 00 04 00 01 00 00 00 FC 00 00 00 00 F3 01 36 02 AA 03 " + kResultAck));
  EXPECT_EQ(rig.state().stored, hex("01 36 02 AA"));
  EXPECT_TRUE(rig.state().resultAcknowledged);
  EXPECT_EQ(rig.f.files.openFiles, 0);
}

TEST(BackupSend, WholeFramesEndWithAnEmptyOne) {
  for (std::size_t size : {1500u, 3000u, 3001u}) {
    Rig rig;
    rig.f.files.contents[kPath] = counting(size);
    EXPECT_EQ(sendBackup(rig.f.platform, 1), 0) << size;
    const std::vector<Bytes> frames = rig.state().hostFrames;
    const std::size_t blocks = size / 1500 + 1;
    ASSERT_EQ(frames.size(), 1 + blocks + 1) << size;
    for (std::size_t b = 0; b < blocks; ++b) {
      const Bytes& frame = frames[1 + b];
      const bool last = b + 1 == blocks;
      EXPECT_EQ(frame.size(), 18 + (last ? size % 1500 : 1500)) << size << " block " << b;
      EXPECT_EQ(frame[8], last ? 0 : 1);
      EXPECT_EQ(frame[9] << 8 | frame[10], static_cast<int>(b));
    }
    if (size == 1500) {
      EXPECT_EQ(frames[2], hex("02 14 00 10 00 00 00 01 00 00 01 FC 00 00 00 00 D9 03"));
    }
    EXPECT_EQ(rig.state().stored, counting(size));
  }
}

TEST(BackupSend, EndsWithOneWhereTheDeviceOrTheFileSaysNo) {
  struct Row {
    const char* name;
    Bytes file;
    BackupDevice::Script script;
    std::size_t hostFrames;
  } rows[] = {
      {"three bytes", hex("01 36 02"), {}, 1},
      {"third refusal in the transfer", counting(2000), {.refuse = {0, 2, 3}}, 5},
      {"device reports failure", counting(10), {.result = hex("02 36 01")}, 3},
      {"short result", counting(10), {.result = hex("02 36")}, 3},
  };
  for (const Row& row : rows) {
    Rig rig;
    rig.f.files.contents[kPath] = row.file;
    rig.backup().script(row.script);
    EXPECT_EQ(sendBackup(rig.f.platform, 1), 1) << row.name;
    EXPECT_EQ(rig.state().hostFrames.size(), row.hostFrames) << row.name;
    EXPECT_EQ(rig.f.files.contents[kPath], row.file) << row.name;
  }
}

TEST(BackupSend, TwoRefusalsAreSentAgain) {
  Rig rig;
  rig.f.files.contents[kPath] = counting(2000);
  rig.backup().script({.refuse = {0, 2}});
  EXPECT_EQ(sendBackup(rig.f.platform, 1), 0);
  EXPECT_EQ(rig.state().stored, counting(2000));
  EXPECT_EQ(rig.state().refused, 2);
}

TEST(BackupSend, AMissingFileIsAskedForFiveTimes) {
  Rig rig;
  EXPECT_EQ(sendBackup(rig.f.platform, 1), 1);
  EXPECT_EQ(rig.f.ui.messages, std::vector<std::string>(5, "can not open zwbak.txt!"));
  EXPECT_EQ(rig.state().hostFrames.size(), 1u);  // the opening exchange alone
}

TEST(BackupCommand, TwoAcknowledgementsWithinTheirLimits) {
  struct Row {
    const char* name;
    sim::TerminalSettings::Answer answer;
    std::int32_t result;
  } rows[] = {
      {"both", {.done = 0x06, .doneAfter = sim::Millis{59'000}}, 0},
      {"second too late", {.done = 0x06, .doneAfter = sim::Millis{61'000}}, 1},
      {"first too late", {.workingTime = sim::Millis{3'100}, .done = 0x06}, 1},
      {"second refused", {.done = 0x15}, 1},
  };
  const auto run = [](Rig& rig, std::int32_t value) {
    return settings::runSerial(rig.f.platform, settings::kZwBackup, 1, 1, {value});
  };
  for (const Row& row : rows) {
    Rig rig;
    rig.device.terminal.part<sim::TerminalSettings>().script(0x0E, row.answer);
    EXPECT_EQ(run(rig, 0x107), row.result) << row.name;
    EXPECT_EQ(rig.device.received(14), hex("15 01 01 FE 07 07")) << row.name;
  }
  Rig rig;
  EXPECT_EQ(run(rig, 2), 0);
  EXPECT_EQ(rig.device.terminal.part<sim::TerminalSettings>().state().backupMode, 2);
}

}  // namespace
}  // namespace movar::backup
