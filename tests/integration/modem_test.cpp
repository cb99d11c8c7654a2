// _MODEMDOWNLOAD through the library against the simulated modem and its terminal on a pty.
#include <gtest/gtest.h>

#include <filesystem>

#include "host_runner.h"
#include "modem.h"
#include "record_memory.h"
#include "sim_fixture.h"

namespace movar::itest {
namespace {

using sim::RecordMemory;

TEST(ModemDownloadThroughLibrary, RecordsConvertedAndBackedUpTheTerminalKeepsThem) {
  unmapAllPorts();
  SimPort port = SimPort::on(2, {.address = 4, .speeds = {19200}}, true);
  RecordMemory& memory = port.terminal->part<RecordMemory>();
  memory.fill(100);
  TempDir dir;
  // Port 1 does not open: the dialling goes on at port 2.
  const HostRun run = runHost(dir.path(), {"_MODEMDOWNLOAD", "i:4", "i:1", "s:0123456789"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.result(), 0);
  const sim::Bytes expected = RecordMemory::records(0, 100);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), std::string(expected.begin(), expected.end()));
  EXPECT_EQ(readFile(dir.path() / "movar.txt").size(), 100u * 23);
  std::size_t backups = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "downbak")) {
    backups += entry.is_regular_file();
  }
  EXPECT_EQ(backups, 2u);
  EXPECT_EQ(port.terminal->part<sim::Modem>().dialled(), std::vector<std::string>{"0123456789"});
  EXPECT_EQ(memory.downloadsServed(), 1);
  EXPECT_EQ(memory.count(), 100u);
  EXPECT_EQ(memory.erasures(), 0);
  for (const auto& chunk : port.terminal->received()) EXPECT_EQ(chunk.baud, 9600);
}

}  // namespace
}  // namespace movar::itest
