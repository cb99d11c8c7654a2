// Every download against a terminal whose line fails at every byte it sends (closed, silent,
// flooded) or whose blocks come twice or out of order: the call fails in bounded time, the record
// file holds exactly the records the host accepted, nothing is converted twice, and the terminal
// is never erased after a failure.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "download/lan_download.h"
#include "download/modem_download.h"
#include "download/serial_download.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "modem.h"

namespace movar::download {
namespace {

using fake::FakePlatform;
using fake::LineFault;
using sim::BlockFault;
using sim::RecordMemory;

constexpr std::uint32_t kRecords = 30;  // a full block and a short one
constexpr std::size_t kRecordBytes = 6;
constexpr std::size_t kTextLine = 23;

struct Download {
  const char* name;
  bool tcp;
  bool behindModem;
  std::string dat;
  // Virtual time: serial lines allow 30 silent 2 s receptions after the header's 10 s, TCP one
  // 10 s receive and the closing pauses.
  Millis longestCall;
  std::function<std::int32_t(Platform&)> run;
};

const std::vector<Download>& downloads() {
  static const std::vector<Download> all{
      {"serial", false, false, "movar", 110'000,
       [](Platform& p) { return serialDownload(p, 7, 2); }},
      {"modem", false, true, "movar", 110'000,
       [](Platform& p) { return modemDownload(p, 7, 2, "5551234"); }},
      {"lan", true, false, "movar", 15'000, [](Platform& p) { return lanDownload(p, "10.0.0.7"); }},
      {"lan numbered", true, false, "movar4", 15'000,
       [](Platform& p) { return lanManyDownload(p, "10.0.0.7", 4); }},
      {"lan addressed", true, false, "movar", 15'000,
       [](Platform& p) { return lanDownloadAddressed(p, "10.0.0.7", 7); }},
  };
  return all;
}

struct Rig {
  FakePlatform f;
  fake::SimTerminal t;
  std::int32_t result = -1;

  Rig(const Download& d, LineFault fault, std::vector<BlockFault> blocks)
      : t(d.behindModem ? sim::TerminalConfig{.address = 7, .speeds = {19200}}
                        : sim::TerminalConfig{.address = 7}) {
    if (d.behindModem) sim::installModem(t.terminal);
    t.memory.fill(kRecords);
    t.memory.script(std::move(blocks));
    t.lineFault = fault;
    if (d.tcp) {
      t.on(f.network, "10.0.0.7");
    } else {
      t.on(f.serial, 2);
    }
    result = d.run(f.platform);
  }
  const Bytes& file(const std::string& name) { return f.files.contents["C:\\host\\" + name]; }
};

// Where each record block ends in the terminal's output, from a run without faults.
struct BlockEnds {
  std::vector<std::size_t> end;   // offset after the block's last byte
  std::vector<std::size_t> count; // records in it
};

BlockEnds blockEnds(const Download& d, std::size_t& total) {
  Rig clean(d, {}, {});
  EXPECT_EQ(clean.result, 0) << d.name;
  BlockEnds ends;
  std::size_t offset = 0, next = 0;
  for (const Bytes& send : clean.t.sends) {
    offset += send.size();
    const std::size_t n = std::min<std::size_t>(RecordMemory::kRecordsPerBlock, kRecords - next);
    const Bytes payload = RecordMemory::records(static_cast<std::uint32_t>(next), static_cast<std::uint32_t>(n));
    if (n > 0 && std::search(send.begin(), send.end(), payload.begin(), payload.end()) != send.end()) {
      ends.end.push_back(offset);
      ends.count.push_back(n);
      next += n;
    }
  }
  EXPECT_EQ(next, kRecords) << d.name;
  total = offset;
  return ends;
}

std::size_t acceptedBefore(const BlockEnds& ends, std::size_t offset) {
  std::size_t n = 0;
  for (std::size_t b = 0; b < ends.end.size(); ++b)
    if (ends.end[b] <= offset) n += ends.count[b];
  return n;
}

// What holds after any failed or faulted call. `accepted`: the records the file must hold, or
// nothing when only a prefix is required.
void expectSound(const Download& d, Rig& r, std::optional<std::size_t> accepted, const std::string& what) {
  SCOPED_TRACE(std::string(d.name) + ", " + what);
  const Bytes& dat = r.file(d.dat + ".dat");
  ASSERT_EQ(dat.size() % kRecordBytes, 0u);
  const std::size_t held = dat.size() / kRecordBytes;
  ASSERT_LE(held, kRecords);
  EXPECT_EQ(dat, RecordMemory::records(0, static_cast<std::uint32_t>(held)));
  if (accepted) {
    EXPECT_EQ(held, *accepted);
  }
  if (r.result == 0) {
    EXPECT_EQ(held, kRecords);
  } else {
    EXPECT_EQ(r.t.memory.erasures(), 0);
  }
  EXPECT_EQ(r.t.memory.count(), r.t.memory.erasures() == 0 ? kRecords : 0u);
  const bool converted = r.result == 0 || !d.tcp;  // the serial lines convert after a failure
  const auto txt = r.f.files.contents.find("C:\\host\\" + d.dat + ".txt");
  if (converted) {
    ASSERT_NE(txt, r.f.files.contents.end());
    EXPECT_EQ(txt->second.size(), held * kTextLine);
  } else {
    EXPECT_EQ(txt, r.f.files.contents.end());
  }
  EXPECT_LE(r.f.clock.now(), d.longestCall);
  EXPECT_EQ(r.f.serial.openLines, 0);
  EXPECT_EQ(r.f.network.openStreams, 0);
  EXPECT_EQ(r.f.files.openFiles, 0);
  EXPECT_EQ(r.f.ui.openWindows, 0);
}

TEST(LineFaults, ClosedSilentOrFloodedAtEveryByteFailsKeepingExactlyTheAcceptedRecords) {
  for (const Download& d : downloads()) {
    std::size_t total = 0;
    const BlockEnds ends = blockEnds(d, total);
    for (auto kind : {LineFault::Kind::Close, LineFault::Kind::Silence, LineFault::Kind::Flood}) {
      for (std::size_t at = 0; at < total; ++at) {
        Rig r(d, {kind, at}, {});
        const std::string what = "fault " + std::to_string(static_cast<int>(kind)) + " at byte " +
                                 std::to_string(at) + " of " + std::to_string(total);
        // The terminal's last byte may come after the host has all it needs.
        EXPECT_TRUE(r.result == 1 || r.file(d.dat + ".dat").size() == kRecords * kRecordBytes) << what;
        // A flood right after a block may spoil that block's own check.
        const std::size_t accepted = acceptedBefore(ends, at);
        expectSound(d, r, kind == LineFault::Kind::Flood ? std::nullopt : std::optional(accepted), what);
        if (kind == LineFault::Kind::Flood) {
          EXPECT_LE(r.file(d.dat + ".dat").size(), accepted * kRecordBytes);
        }
      }
    }
  }
}

TEST(LineFaults, RepeatedOrReorderedBlocksNeverStoreARecordTwice) {
  for (const Download& d : downloads()) {
    const std::size_t blocks = 2 + (kRecords + RecordMemory::kRecordsPerBlock - 1) / RecordMemory::kRecordsPerBlock;
    for (auto kind : {BlockFault::Kind::RepeatAfterAck, BlockFault::Kind::WrongNumber}) {
      for (std::size_t block = 0; block < blocks; ++block) {
        Rig r(d, {}, {{.block = block, .kind = kind, .times = 100}});
        expectSound(d, r, std::nullopt,
                    "block fault " + std::to_string(static_cast<int>(kind)) + " at block " + std::to_string(block));
      }
    }
  }
}

}  // namespace
}  // namespace movar::download
