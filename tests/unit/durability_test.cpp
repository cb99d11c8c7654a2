// Nothing is erased from a terminal before every copy of its records is on the disk: the order of
// writes, syncs and the erase, seen at the moment the erase leaves the host.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "download/lan_download.h"
#include "download/serial_download.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/failure.h"

namespace movar::download {
namespace {

using fake::FakePlatform;
using sim::BlockFault;

const std::string kDir = "C:\\host";
const Bytes kSerialErase{0x07, 0xF8, 0x0D, 0xF2};
const Bytes kLanErase{0xFA, 0x05, 0x0D, 0xF2};

bool endsWith(const Bytes& bytes, const Bytes& tail) {
  return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - 4);
}

// A terminal on serial port 2 and at 10.0.0.7; `erasing` holds what was not yet synced when the
// erase command's last byte left the host (unset: no erase went out).
struct Site {
  FakePlatform f;
  fake::SimTerminal t{{.address = 7}};
  std::optional<std::vector<std::string>> erasing;

  explicit Site(std::uint32_t records, std::vector<BlockFault> faults = {}) {
    t.memory.fill(records);
    t.memory.script(std::move(faults));
    t.on(f.serial, 2).on(f.network, "10.0.0.7");
    f.serial.onWrite = [this] {
      if (endsWith(f.serial.writtenTo(f.serial.writes.back().port), kSerialErase)) {
        erasing = f.files.unsynced();
      }
    };
    f.network.onSend = [this] {
      const Bytes& sent = f.network.sends.back().bytes;
      if (sent.size() == 14 && endsWith(sent, kLanErase)) erasing = f.files.unsynced();
    };
  }
  bool erased() const { return erasing.has_value(); }
};

using Download = std::function<std::int32_t(Platform&)>;
struct Flow {
  const char* name;
  Download run;
  std::vector<std::string> files;  // written in the record directory
};
const std::vector<Flow> kFlows{
    {"serial", [](Platform& p) { return serialDownload(p, 7, 2); }, {"movar.dat", "movar.txt"}},
    {"lan", [](Platform& p) { return lanDownload(p, "10.0.0.7"); }, {"movar.dat", "movar.txt"}},
    {"lan many", [](Platform& p) { return lanManyDownload(p, "10.0.0.7", 3); },
     {"movar3.dat", "movar3.txt"}},
    {"lan addressed", [](Platform& p) { return lanDownloadAddressed(p, "10.0.0.7", 0xFA); },
     {"movar.dat", "movar.txt"}},
};

std::size_t backups(const FakePlatform& f) {
  std::size_t n = 0;
  for (const auto& [path, bytes] : f.files.contents) n += path.rfind(kDir + "\\downbak\\k", 0) == 0;
  return n;
}

TEST(DurableDownload, EveryFileAndFolderIsSyncedBeforeTheEraseLeaves) {
  for (const Flow& flow : kFlows) {
    Site s(60);
    EXPECT_EQ(flow.run(s.f.platform), 0) << flow.name;
    ASSERT_TRUE(s.erased()) << flow.name;
    EXPECT_EQ(*s.erasing, std::vector<std::string>{}) << flow.name;
    // What the power cut must find: the record and text files, both backups, both folders.
    const auto& synced = s.f.files.syncs;
    for (const std::string& name : flow.files) {
      EXPECT_NE(std::find(synced.begin(), synced.end(), kDir + "\\" + name), synced.end())
          << flow.name << " " << name;
    }
    EXPECT_EQ(backups(s.f), 2u) << flow.name;
    EXPECT_EQ(synced.size(), flow.files.size() + 2 + 2) << flow.name;
    EXPECT_EQ(synced.back(), kDir) << flow.name;
    EXPECT_EQ(s.t.memory.count(), 0u) << flow.name;
  }
}

// Each fault before the erase: the download still reports the good transfer, the terminal keeps
// its records, and the failure account names the file.
TEST(DurableDownload, NoEraseWhenABackupOrASyncFails) {
  struct Fault {
    const char* name;
    std::function<void(fake::FakeFiles&)> arrange;
    std::string cause;
  };
  const std::vector<Fault> faults{
      {"downbak is a file", [](fake::FakeFiles& f) { f.contents[kDir + "\\downbak"]; },
       "cannot back up into C:\\host\\downbak: it is a file or a link, not a folder"},
      {"a leftover that cannot be removed", [](fake::FakeFiles& f) {
         f.directories.insert(kDir + "\\downbak");
         f.directories.insert(kDir + "\\downbak\\movar.txt.part");
       }, "cannot remove C:\\host\\downbak\\movar.txt.part"},
      {"a sync fails", [](fake::FakeFiles& f) { f.failSyncs.insert(kDir + "\\downbak"); },
       "cannot sync C:\\host\\downbak"},
  };
  for (const Flow& flow : {kFlows[0], kFlows[1]}) {
    for (const Fault& fault : faults) {
      Site s(60);
      fault.arrange(s.f.files);
      clearFailure();
      EXPECT_EQ(flow.run(s.f.platform), 0) << flow.name << ": " << fault.name;
      EXPECT_FALSE(s.erased()) << flow.name << ": " << fault.name;
      EXPECT_EQ(s.t.memory.count(), 60u) << flow.name << ": " << fault.name;
      EXPECT_EQ(lastFailureKind(), FailureKind::File) << flow.name << ": " << fault.name;
      EXPECT_EQ(lastFailureText(), fault.cause) << fault.name;
    }
  }
}

class Gate final : public EraseGate {
 public:
  explicit Gate(std::function<bool()> answer) : answer_(std::move(answer)) {}
  bool mayErase() override { return ++asked, answer_(); }
  void erased(bool done) override { outcome = done; }
  int asked = 0;
  std::optional<bool> outcome;

 private:
  std::function<bool()> answer_;
};

TEST(DurableDownload, AToolsGateIsAskedOnceAfterTheSyncsAndCanHoldTheErase) {
  for (const Flow& flow : kFlows) {
    for (const bool allow : {true, false}) {
      Site s(30);
      std::vector<std::string> unsyncedWhenAsked{"not asked"};
      Gate gate([&] { return unsyncedWhenAsked = s.f.files.unsynced(), allow; });
      s.f.platform.eraseGate = &gate;
      EXPECT_EQ(flow.run(s.f.platform), 0) << flow.name;
      EXPECT_EQ(gate.asked, 1) << flow.name;
      EXPECT_EQ(unsyncedWhenAsked, std::vector<std::string>{}) << flow.name;
      EXPECT_EQ(s.erased(), allow) << flow.name;
      EXPECT_EQ(gate.outcome, allow ? std::optional<bool>(true) : std::nullopt) << flow.name;
      EXPECT_EQ(s.t.memory.count(), allow ? 0u : 30u) << flow.name;
    }
  }
}

// The terminal on COM2 is gone once its records are in (a pulled cable); another with the same
// address answers on COM3. The erase must stay on COM2.
TEST(DurableDownload, SerialEraseNeverStepsToAnotherPort) {
  Site s(30);
  fake::SimTerminal other{{.address = 7}};
  other.memory.fill(50);
  other.on(s.f.serial, 3);
  Gate gate([&] { return s.f.serial.attachSilent(2), true; });
  s.f.platform.eraseGate = &gate;
  EXPECT_EQ(serialDownload(s.f.platform, 7, 2), 0);
  EXPECT_EQ(gate.outcome, std::optional<bool>(false));
  EXPECT_EQ(other.memory.count(), 50u);
  EXPECT_TRUE(other.terminal.commands().empty());
  for (std::size_t i = 0; i < s.f.serial.opens.size(); ++i) {
    EXPECT_EQ(s.f.serial.opens[i].port, 2) << i;
  }
  EXPECT_EQ(s.f.serial.opens.size(), 1u + 9u);  // the download's, then nine erase attempts
}

TEST(DurableDownload, ASecondDownloadOfARecordFileInUseTouchesNothing) {
  for (const Flow& flow : kFlows) {
    Site s(30);
    const std::string held = kDir + "\\" + flow.files[0];
    s.f.files.heldRecordFiles.insert(held);
    EXPECT_EQ(flow.run(s.f.platform), 1) << flow.name;
    EXPECT_TRUE(s.f.serial.opens.empty() && s.f.network.connects.empty()) << flow.name;
    EXPECT_TRUE(s.f.files.contents.empty()) << flow.name;
    EXPECT_TRUE(s.f.ui.windowEvents.empty()) << flow.name;
    EXPECT_EQ(lastFailureText(), held + " is in use by another download");
  }
  Site s(30);
  EXPECT_EQ(serialDownload(s.f.platform, 7, 2), 0);
  EXPECT_TRUE(s.f.files.heldRecordFiles.empty());  // released on return
}

// One byte every 1.9 s never trips an inactivity limit; the block's allowance ends it. (A serial
// record block is a row against the simulator.)
TEST(DurableDownload, ATricklingTerminalFailsWithinTheBlockAllowanceAndKeepsItsRecords) {
  struct Row {
    const char* name;
    std::size_t block;
    Download run;
    Millis within;  // from the start of the call
  };
  const std::vector<Row> rows{
      {"serial header", 0, kFlows[0].run, 1'000 + 10'000 + 2 * 1'900 + 5'000},
      {"lan record block", 1, kFlows[1].run, 10'000 + 2 * 1'900 + 5'000},
  };
  for (const Row& row : rows) {
    Site s(60, {{.block = row.block, .kind = BlockFault::Kind::Trickle, .stall = sim::Millis{1'900}}});
    EXPECT_EQ(row.run(s.f.platform), 1) << row.name;
    EXPECT_FALSE(s.erased()) << row.name;
    EXPECT_EQ(s.t.memory.count(), 60u) << row.name;
    EXPECT_NE(lastFailureText().find("not complete within its time allowance"), std::string::npos)
        << row.name << ": " << lastFailureText();
    EXPECT_LT(s.f.clock.now(), row.within) << row.name;
  }
}

}  // namespace
}  // namespace movar::download
