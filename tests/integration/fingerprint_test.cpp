// A template copied between two simulated terminals through the library, by a host in a
// directory of its own: listed, read to its file, sent to the other terminal, listed there.
#include <gtest/gtest.h>

#include "fingerprint_unit.h"
#include "host_runner.h"
#include "sim_fixture.h"

namespace movar::itest {
namespace {

TEST(FingerprintThroughLibrary, TemplateCopiedFromOneTerminalToAnother) {
  unmapAllPorts();
  auto first = SimPort::on(1, {.address = 1, .speeds = {57600}});
  auto second = SimPort::on(2, {.address = 2, .speeds = {19200}});
  sim::FingerprintUnit& from = first.terminal->part<sim::FingerprintUnit>();
  sim::FingerprintUnit& to = second.terminal->part<sim::FingerprintUnit>();
  const sim::Bytes templ = sim::makeTemplate(300, 2, 2);
  from.store(300, 2, 2, templ);
  from.store(5, 0, 1, sim::makeTemplate(5, 0, 1));
  TempDir dir;
  const auto fingerDir = dir.path() / "FINGERREC";

  const HostRun list = runHost(dir.path(), {"_GETIDLIST", "i:1", "i:1"});
  EXPECT_EQ(list.result(), 0) << list.err;
  EXPECT_EQ(readFile(fingerDir / "IDLIST.TXT"), "0000050001\r\n0003000202\r\n");
  EXPECT_EQ(runHost(dir.path(), {"_GETIDFPREC", "i:1", "i:1", "i:300", "i:2", "i:2"}).result(), 0);
  EXPECT_EQ(readFile(fingerDir / "FP0300_2.TXT"), std::string(templ.begin(), templ.end()));

  // The fourth argument is not used: both sends carry the same bytes.
  EXPECT_EQ(runHost(dir.path(), {"_SENDIDFPREC", "i:2", "i:2", "i:300", "i:0", "i:2"}).result(), 0);
  EXPECT_EQ(runHost(dir.path(), {"_SENDIDFPREC", "i:2", "i:2", "i:300", "i:-77", "i:2"}).result(), 0);
  const std::vector<sim::Bytes> sends = to.requests();
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0], sends[1]);
  EXPECT_EQ(runHost(dir.path(), {"_GETIDLIST", "i:2", "i:2"}).result(), 0);
  EXPECT_EQ(readFile(fingerDir / "IDLIST.TXT"), "0003000202\r\n");
  EXPECT_EQ(to.templates(), (std::map<sim::FingerprintUnit::Key, sim::Bytes>{{{300, 2, 2}, templ}}));
}

}  // namespace
}  // namespace movar::itest
