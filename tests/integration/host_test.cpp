#include <gtest/gtest.h>

#include "host_runner.h"
#include "sim_fixture.h"

namespace movar::itest {
namespace {

// The stand-in host reaches the library by name, as Windows hosts do with GetProcAddress.
TEST(HostByName, TestComFromAnotherDirectory) {
  unmapAllPorts();
  auto port = SimPort::on(4, {.address = 3, .speeds = {19200}});
  TempDir dir;
  const HostRun run = runHost(dir.path(), {"_TESTCOM", "i:3", "i:4"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.result(), 4);
  EXPECT_EQ(runHost(dir.path(), {"_TESTCOM", "i:3", "i:1"}).result(), 4);
}

}  // namespace
}  // namespace movar::itest
