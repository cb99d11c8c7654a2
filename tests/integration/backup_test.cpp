// The backup transfer through the library: one device's data into zwbak.txt and on to another.
#include <gtest/gtest.h>

#include "backup_device.h"
#include "host_runner.h"
#include "sim_fixture.h"
#include "terminal_settings.h"

namespace movar::itest {
namespace {

TEST(BackupThroughLibrary, OneDevicesDataReachesAnotherWithItsMark) {
  unmapAllPorts();
  auto a = SimPort::on(1, {.address = 3});
  auto b = SimPort::on(2, {});
  sim::Bytes data(2600);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
  a.terminal->part<sim::BackupDevice>().script({.openFlags = 0x05, .data = data});
  TempDir dir;
  // One call after the other: calls joined in one host run would share the lines.
  for (const std::vector<std::string>& call : {std::vector<std::string>{"_ZWBACKUP", "i:3", "i:1", "i:9"},
                                               {"_RXZWFILE", "i:1"},
                                               {"_TXZWFILE", "i:2"}}) {
    const HostRun run = runHost(dir.path(), call);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.result(), 0) << call[0];
  }
  EXPECT_EQ(a.terminal->part<sim::TerminalSettings>().state().backupMode, 9);
  sim::Bytes marked = data;
  marked[0] = 0x01, marked[1] = 0x36, marked[2] = 0x02;
  const std::string file = readFile(dir.path() / "zwbak.txt");
  EXPECT_EQ(sim::Bytes(file.begin(), file.end()), marked);
  EXPECT_EQ(b.terminal->part<sim::BackupDevice>().state().stored, marked);
  EXPECT_TRUE(b.terminal->part<sim::BackupDevice>().state().resultAcknowledged);
}

}  // namespace
}  // namespace movar::itest
