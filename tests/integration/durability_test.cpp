// A punch that reached the terminal reaches the disk before the terminal forgets it: the real
// library's system calls, and the faults real sites see, against the simulator.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "host_runner.h"
#include "record_memory.h"
#include "sim_fixture.h"

namespace movar::itest {
namespace {

namespace fs = std::filesystem;
using sim::BlockFault;
using sim::RecordMemory;

struct FilledSerialTerminal {
  SimPort port;
  RecordMemory& memory;
  FilledSerialTerminal(std::uint32_t records, int com)
      : port(SimPort::on(com, {.address = 4, .speeds = {57600}})),
        memory(port.terminal->part<RecordMemory>()) {
    memory.fill(records);
  }
};

struct FilledNetTerminal {
  SimNet net;
  RecordMemory& memory;
  explicit FilledNetTerminal(std::uint32_t records) : memory(net.terminal.part<RecordMemory>()) {
    memory.fill(records);
  }
};

std::string parentOf(const std::string& path) { return fs::path(path).parent_path().string(); }

// Replays an strace log of one download: what under `dir` was changed and not yet synced when the
// erase command's last byte went out. Unset when no erase went out.
std::optional<std::set<std::string>> unsyncedAtErase(const std::string& log, const std::string& dir) {
  static const std::regex call(R"(^\d+ +(\w+)\((.*)\) += (-?\d+))");
  static const std::regex quoted(R"re("((?:[^"\\]|\\.)*)")re");
  std::map<long, std::string> paths;  // open descriptors under dir
  std::set<std::string> dirty;
  std::string serialTail;  // the last bytes written to any descriptor outside dir
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, call)) continue;
    const std::string name = m[1], args = m[2];
    const long result = std::stol(m[3]);
    std::vector<std::string> texts;
    for (auto it = std::sregex_iterator(args.begin(), args.end(), quoted); it != std::sregex_iterator(); ++it) {
      texts.push_back((*it)[1]);
    }
    const long fd = std::atol(args.c_str());
    const auto mine = [&](const std::string& p) { return p.rfind(dir, 0) == 0; };
    const auto touch = [&](const std::string& p) {
      if (mine(p)) dirty.insert(p), dirty.insert(parentOf(p));
    };
    if (result < 0) continue;
    if (name == "openat" && texts.size() == 1 && mine(texts[0])) {
      paths[result] = texts[0];
      if (args.find("O_CREAT") != std::string::npos) touch(texts[0]);
    } else if (name == "close") {
      paths.erase(fd);
    } else if (name == "write" || name == "sendto") {
      if (paths.count(fd)) {
        dirty.insert(paths[fd]);
      } else if (!texts.empty()) {
        serialTail += texts[0];
        // The erase command's preamble ends in 0x0D 0xF2 (strace writes "\r\xf2", or all in hex),
        // whether written a byte at a time on a serial line or in one send over TCP.
        const auto endsIn = [&](const std::string& tail) {
          return serialTail.size() >= tail.size() &&
                 serialTail.compare(serialTail.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (endsIn("\\r\\xf2") || endsIn("\\x0d\\xf2")) return dirty;
        if (serialTail.size() > 64) serialTail.erase(0, serialTail.size() - 64);
      }
    } else if ((name == "fsync" || name == "fdatasync") && paths.count(fd)) {
      dirty.erase(paths[fd]);
    } else if ((name == "link" || name == "rename") && texts.size() == 2) {
      touch(texts[1]);
      if (mine(texts[0])) dirty.insert(parentOf(texts[0]));
    } else if (name == "unlink" && texts.size() == 1 && mine(texts[0])) {
      dirty.erase(texts[0]);
      dirty.insert(parentOf(texts[0]));
    } else if (name == "mkdir" && texts.size() == 1) {
      touch(texts[0]);
    }
  }
  return std::nullopt;
}

TEST(DurableDownloadThroughLibrary, EveryWrittenFileAndFolderIsSyncedBeforeTheErase) {
  if (std::getenv("MOVAR_TEST_WRAPPER")) GTEST_SKIP() << "watches the host's own system calls";
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) GTEST_SKIP() << "no strace";
  unmapAllPorts();
  FilledSerialTerminal serial(60, 1);
  FilledNetTerminal lan(60);
  for (const std::vector<std::string>& call :
       {std::vector<std::string>{"_DOWNLOAD", "i:4", "i:1"}, {"_LANDOWNLOAD", "s:" + lan.net.ip()},
        {"_LANMANYDOWNLOAD", "s:" + lan.net.ip(), "i:3"}}) {
    serial.memory.fill(60);
    lan.memory.fill(60);
    TempDir dir;
    const std::string canonical = fs::canonical(dir.path()).string();
    fs::copy_file(MOVAR_HOST_PATH, dir.path() / "movar-host");
    std::vector<std::string> args{
#if defined(__SANITIZE_ADDRESS__)
        "ASAN_OPTIONS=detect_leaks=0",  // the leak check cannot run under ptrace
#endif
        "strace", "-f", "-x", "-s", "64", "-o", canonical + "/.trace", "-e",
        "trace=openat,close,write,sendto,fsync,fdatasync,link,rename,unlink,mkdir", "./movar-host"};
    args.insert(args.end(), call.begin(), call.end());
    const HostRun run = runIn(dir.path(), "env", args);
    ASSERT_EQ(run.exitCode, 0) << call[0] << run.err;
    const std::string trace = readFile(dir.path() / ".trace");
    const auto unsynced = unsyncedAtErase(trace, canonical);
    ASSERT_TRUE(unsynced.has_value()) << call[0] << ": no erase in the trace's end:\n"
                                      << trace.substr(trace.size() > 3000 ? trace.size() - 3000 : 0);
    EXPECT_EQ(*unsynced, std::set<std::string>{}) << call[0];
  }
}

// Each row: a fault on the PC after a good transfer (a downbak that is a file is a command-line
// row). The download reports the transfer, but the
// terminal keeps every record, and nothing outside the record folder is touched.
TEST(DurableDownloadThroughLibrary, NoEraseWhenACopyCannotBeMadeSafely) {
  struct Row {
    const char* name;
    std::function<void(const fs::path& dir, const fs::path& elsewhere)> arrange;
    const char* why;  // in the failure account
    std::set<std::string> elsewhere;
  };
  const std::vector<Row> rows{
      {"downbak links elsewhere",
       [](const fs::path& d, const fs::path& e) { fs::create_directory_symlink(e, d / "downbak"); },
       "downbak: it is a file or a link, not a folder", {}},
      {"movar.txt links elsewhere",
       [](const fs::path& d, const fs::path& e) {
         std::ofstream(e / "payroll.txt") << "keep";
         fs::create_symlink(e / "payroll.txt", d / "movar.txt");
       },
       "movar.txt: Too many levels of symbolic links", {"payroll.txt"}},
  };
  for (const Row& row : rows) {
    FilledNetTerminal lan(40);
    TempDir dir, elsewhere;
    row.arrange(dir.path(), elsewhere.path());
    const HostRun run = runHost(dir.path(), {"_LANDOWNLOAD", "s:" + lan.net.ip()});
    EXPECT_EQ(run.result(), 0) << row.name;
    EXPECT_NE(run.field("why ").find(row.why), std::string::npos) << row.name << ": " << run.out;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // an erase would not be waited for
    EXPECT_EQ(lan.memory.count(), 40u) << row.name;
    EXPECT_EQ(lan.memory.erasures(), 0) << row.name;
    std::set<std::string> outside;
    for (const auto& e : fs::recursive_directory_iterator(elsewhere.path())) {
      outside.insert(e.path().filename().string());
    }
    EXPECT_EQ(outside, row.elsewhere) << row.name;
    if (!row.elsewhere.empty()) {
      EXPECT_EQ(readFile(elsewhere.path() / "payroll.txt"), "keep");
    }
  }
}

// Two terminals answer to address 4: COM1's is unplugged once its records are in. The erase
// that follows must not find COM2's, which was never downloaded. COM1 is reached through a link
// that the unplugging removes: the pty itself lives on until the host is done, so that its
// number cannot pass to another test's terminal while this host still tries the port.
TEST(DurableDownloadThroughLibrary, SerialEraseStaysOnThePortThatDeliveredTheRecords) {
  unmapAllPorts();
  FilledSerialTerminal first(300, 1);
  FilledSerialTerminal second(500, 2);
  TempDir dir;
  const fs::path cable = dir.path() / "com1";
  fs::create_symlink(first.port.pty->path(), cable);
  ::setenv("MOVAR_COM1", cable.c_str(), 1);
  auto host = std::async(std::launch::async, [&] { return runHost(dir.path(), {"_DOWNLOAD", "i:4", "i:1"}); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (first.memory.downloadsServed() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  fs::remove(cable);  // the cable is pulled
  const HostRun run = host.get();
  EXPECT_EQ(run.result(), 0);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 300)));
  EXPECT_EQ(first.memory.count(), 300u);
  EXPECT_EQ(second.memory.count(), 500u);
  EXPECT_EQ(second.memory.erasures(), 0);
}

TEST(DurableDownloadThroughLibrary, ASecondDownloadOfARecordFileInUseIsRefusedBeforeItsTerminal) {
  FilledNetTerminal a(3000), b(40);
  TempDir dir;
  fs::copy_file(MOVAR_HOST_PATH, dir.path() / "movar-host");
  auto first = std::async(std::launch::async, [&] { return runIn(dir.path(), "./movar-host", {"_LANDOWNLOAD", "s:" + a.net.ip()}); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(dir.path() / "movar.dat") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const HostRun second = runIn(dir.path(), "./movar-host", {"_LANDOWNLOAD", "s:" + b.net.ip()});
  EXPECT_EQ(second.result(), 1);
  EXPECT_NE(second.field("why ").find("is in use by another download"), std::string::npos) << second.out;
  EXPECT_TRUE(b.net.terminal.commands().empty());
  EXPECT_EQ(b.memory.count(), 40u);
  EXPECT_EQ(first.get().result(), 0);
  EXPECT_EQ(readFile(dir.path() / "movar.dat"), asText(RecordMemory::records(0, 3000)));
}

// One byte a second never trips the 2 s inactivity limit; without an allowance for the whole
// block, its 174 bytes would take three minutes.
TEST(DurableDownloadThroughLibrary, ATricklingTerminalIsGivenUpWithinItsBlockAllowance) {
  unmapAllPorts();
  FilledSerialTerminal terminal(100, 1);
  terminal.memory.script({{.block = 2, .kind = BlockFault::Kind::Trickle, .stall = sim::Millis{1'000}}});
  TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  const HostRun run = runHost(dir.path(), {"_DOWNLOAD", "i:4", "i:1"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.result(), 1);
  EXPECT_NE(run.out.find("not complete within its time allowance"), std::string::npos) << run.out;
  EXPECT_EQ(terminal.memory.count(), 100u);
  EXPECT_LT(took, std::chrono::seconds(60));
}

}  // namespace
}  // namespace movar::itest
