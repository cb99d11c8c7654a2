// The movar command line against simulated terminals: a few calls per group, their output
// (readable and JSON lines), files in --dir, and exit statuses.
#include <gtest/gtest.h>

#include <fstream>

#include "fingerprint_unit.h"
#include "host_runner.h"
#include "live_records.h"
#include "record_memory.h"
#include "sim_fixture.h"
#include "terminal_settings.h"

namespace movar::itest {
namespace {

HostRun movar(const TempDir& dir, const std::vector<std::string>& args) {
  return runIn(dir.path(), MOVAR_CLI_PATH, args);
}

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

TEST(CommandLine, SerialTestDownloadShowAndFingerprints) {
  unmapAllPorts();
  auto port = SimPort::on(1, {.address = 4, .speeds = {57600}});
  port.terminal->part<sim::RecordMemory>().fill(30);
  port.terminal->part<sim::FingerprintUnit>().store(300, 2, 2, sim::makeTemplate(300, 2, 2));
  TempDir dir;
  const HostRun test = movar(dir, {"test", "--com", "1", "--addr", "4"});
  EXPECT_EQ(test.exitCode, 0);
  EXPECT_EQ(test.out, "terminal 4 found on COM1\n");
  EXPECT_EQ(movar(dir, {"download", "--com", "1", "--addr", "4"}).exitCode, 0);  // --dir: "."
  EXPECT_EQ(lines(readFile(dir.path() / "movar.txt")), 30);
  const HostRun shown = movar(dir, {"--json", "show", "movar.dat"});
  EXPECT_EQ(lines(shown.out), 30);
  EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')),
            R"({"person":0,"time":"2009-01-01 00:00","machine":0})");
  EXPECT_EQ(movar(dir, {"fp", "list", "--com", "1", "--addr", "4"}).exitCode, 0);
  EXPECT_EQ(readFile(dir.path() / "FINGERREC" / "IDLIST.TXT"), "0003000202\r\n");
}

TEST(CommandLine, TcpSettingsInJsonFailuresInWordsAndUsage) {
  SimNet net;
  const std::string& ip = net.ip();
  net.terminal.part<sim::LiveRecords>().push({0x00, 0x7B, 0x93, 0x0E, 0x28, 0xC5});
  TempDir dir;
  const HostRun set = movar(dir, {"--json", "time", "set", "1", "2", "3", "4", "5", "6", "7", "--ip", ip});
  EXPECT_EQ(set.exitCode, 0);
  EXPECT_EQ(set.out, R"({"command":"time set","target":")" + ip + R"(","result":0,"ok":true})" "\n");
  EXPECT_EQ(movar(dir, {"name", "send", "5", "Jos\xE9", "--ip", ip}).exitCode, 0);
  EXPECT_EQ(movar(dir, {"person", "disable", "--all", "--ip", ip}).exitCode, 0);
  const sim::TerminalSettings::State state = net.terminal.part<sim::TerminalSettings>().state();
  EXPECT_EQ(state.clock, (sim::Bytes{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(state.names.at(5), (sim::Bytes{'J', 'o', 's', 0xE9}));
  EXPECT_EQ(state.allPersons, sim::TerminalSettings::AllPersons::Disabled);
  EXPECT_EQ(movar(dir, {"--json", "realtime", "--ip", ip}).out,
            R"({"record":"00012320090314080507","person":123,"time":"2009-03-14 08:05","machine":7})"
            "\n");

  const NobodyThere nobody;
  const HostRun refused = movar(dir, {"person", "enable", "3", "--ip", nobody.ip()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("connection to " + nobody.ip() + ":1024 refused"), std::string::npos)
      << refused.err;
  for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
           {"time", "set", "1", "2", "--ip", ip},  // too few clock bytes
           {"time", "set", "1", "2", "3", "4", "5", "6", "7"},  // no target
           {"answer", "5", "--com", "1"},  // TCP only
           {"person", "enable", "--ip", ip},  // neither a person nor --all
           {"no-such-command"}}) {
    EXPECT_EQ(movar(dir, usage).exitCode, 2) << usage[0];
  }
}

TEST(CommandLine, CollectKeepsGoingPastADeadTerminal) {
  SimNet first, second;
  first.terminal.part<sim::RecordMemory>().fill(100);
  second.terminal.part<sim::RecordMemory>().fill(200);
  const NobodyThere dead;
  TempDir dir;
  std::ofstream(dir.path() / "ips.txt") << "# the floor\n" << first.ip() << "\n" << dead.ip()
                                        << "\n\n" << second.ip() << "\n";
  const HostRun run = movar(dir, {"--json", "collect", "--ips", "ips.txt", "--dir", "out", "--jobs", "3"});
  EXPECT_EQ(run.exitCode, 1);  // not all succeeded
  EXPECT_NE(run.out.find(R"({"ip":")" + first.ip() + R"(","result":0,"ok":true,"records":100,)"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find(R"({"ip":")" + dead.ip() + R"(","result":1,"ok":false,"records":0,)"),
            std::string::npos) << run.out;
  EXPECT_EQ(lines(readFile(dir.path() / "out" / second.ip() / "movar.txt")), 200);
}

}  // namespace
}  // namespace movar::itest
