// The movar command line against simulated terminals, by behaviour: what it does with a terminal
// (output readable and JSON, files in --dir, exit statuses), what it refuses before touching
// anything, how Ctrl-C ends it, and what `show` and `collect` make of bad input.
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "fingerprint_unit.h"
#include "host_runner.h"
#include "live_records.h"
#include "pg_cluster.h"
#include "record_memory.h"
#include "sim_fixture.h"
#include "terminal_settings.h"
#include "time_bounds.h"

namespace movar::itest {
namespace {

using namespace std::chrono_literals;

HostRun movar(const TempDir& dir, const std::vector<std::string>& args) {
  return runIn(dir.path(), MOVAR_CLI_PATH, args);
}

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// movar started in the background (under $MOVAR_TEST_WRAPPER when set), to be interrupted.
class Background {
 public:
  Background(const TempDir& dir, std::vector<std::string> args) {
    const char* wrapper = std::getenv("MOVAR_TEST_WRAPPER");
    args.insert(args.begin(), {"/bin/sh", "-c", std::string("exec ") + (wrapper ? wrapper : "") + " \"$0\" \"$@\"",
                               MOVAR_CLI_PATH});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string err = (dir.path() / ".background-err").string();
    const std::string out = (dir.path() / ".background-out").string();
    pid_ = ::fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec
      const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (::chdir(dir.path().c_str()) != 0 || fd < 0 || ::dup2(fd, STDERR_FILENO) < 0 || outFd < 0 ||
          ::dup2(outFd, STDOUT_FILENO) < 0) {
        ::_exit(127);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~Background() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // Sends SIGINT; true when the process ended by it within `limit`.
  bool interrupt(std::chrono::milliseconds limit) {
    const std::optional<int> status = signal(SIGINT, limit);
    return status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGINT;
  }
  // Sends `signal`; the wait status when the process ended within `limit`.
  std::optional<int> signal(int signal, std::chrono::milliseconds limit) {
    ::kill(pid_, signal);
    return wait(limit);
  }
  // The wait status when the process ended within `limit`.
  std::optional<int> wait(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) return std::nullopt;
      std::this_thread::sleep_for(5ms);
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
};

template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = hostAllowance(10s)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// One statement on a SQLite store, as its owner (or another program) would run it.
void sqlite(const std::filesystem::path& db, const std::string& sql) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
  const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> open(raw, sqlite3_close);
  ASSERT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
}

struct Measured {
  int exitCode = -1;
  long peakKilobytes = 0;
  std::string out, err;
};

// `all` (a program path and its arguments) run directly, never under $MOVAR_TEST_WRAPPER: the
// memory measured is the program's own. `limit` bounds the wait; a run beyond it is killed.
Measured measured(const TempDir& dir, std::vector<std::string> all, std::chrono::seconds limit) {
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = (dir.path() / ".measured-out").string(), err = (dir.path() / ".measured-err").string();
  const pid_t pid = ::fork();
  if (pid == 0) {  // only async-signal-safe calls until exec
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::chdir(dir.path().c_str()) != 0 || outFd < 0 || errFd < 0 || ::dup2(outFd, STDOUT_FILENO) < 0 ||
        ::dup2(errFd, STDERR_FILENO) < 0) {
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  Measured m;
  const auto until = std::chrono::steady_clock::now() + limit;
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      ::kill(pid, SIGKILL);
      ::wait4(pid, &status, 0, &usage);
      ADD_FAILURE() << "movar took longer than " << limit.count() << " s";
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  m.peakKilobytes = usage.ru_maxrss;
  m.out = readFile(out);
  m.err = readFile(err);
  return m;
}

TEST(CommandLine, SerialTestDownloadShowAndFingerprints) {
  unmapAllPorts();
  auto port = SimPort::on(1, {.address = 4, .speeds = {57600}});
  port.terminal->part<sim::RecordMemory>().fill(30);
  port.terminal->part<sim::FingerprintUnit>().store(300, 2, 2, sim::makeTemplate(300, 2, 2));
  TempDir dir;
  const HostRun test = movar(dir, {"test", "--com", "1", "--addr", "4"});
  EXPECT_EQ(test.exitCode, 0);
  EXPECT_EQ(test.out, "terminal 4 found on COM1\n");
  const HostRun download = movar(dir, {"download", "--com", "1", "--addr", "0x4"});  // --dir: "."
  EXPECT_EQ(download.exitCode, 0);
  EXPECT_EQ(download.out.substr(0, download.out.find('\n')), "download: ok, 30 records");
  EXPECT_TRUE(contains(download.out, "written: ./movar.dat ./movar.txt\n  backups: ./downbak/k"))
      << download.out;
  EXPECT_EQ(lines(readFile(dir.path() / "movar.txt")), 30);
  const HostRun shown = movar(dir, {"--json", "show", "movar.dat"});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_EQ(lines(shown.out), 30);
  EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')),
            R"({"person":0,"time":"2009-01-01 00:00","machine":0})");
  EXPECT_EQ(movar(dir, {"fp", "list", "--com", "1", "--addr", "4"}).exitCode, 0);
  EXPECT_EQ(readFile(dir.path() / "FINGERREC" / "IDLIST.TXT"), "0003000202\r\n");
}

TEST(CommandLine, TcpSettingsNamesInTheTerminalsCharsetAndJson) {
  SimNet net;
  const std::string& ip = net.ip();
  net.terminal.part<sim::LiveRecords>().push({0x00, 0x7B, 0x93, 0x0E, 0x28, 0xC5});
  TempDir dir;
  const HostRun set = movar(dir, {"--json", "time", "set", "1", "2", "3", "4", "5", "6", "0x07", "--ip", ip});
  EXPECT_EQ(set.exitCode, 0);
  EXPECT_EQ(set.out, R"({"command":"time set","target":")" + ip + R"(","result":0,"ok":true})" "\n");
  EXPECT_EQ(movar(dir, {"name", "send", "5", "Jos\xC3\xA9", "--encoding", "CP1252", "--ip", ip}).exitCode, 0);
  EXPECT_EQ(movar(dir, {"name", "send", "6", "\xE5\xBC\xA0\xE4\xB8\x89", "--encoding", "GBK", "--ip", ip}).exitCode, 0);
  EXPECT_EQ(movar(dir, {"name", "send", "7", "\xFF\x01", "--encoding", "raw", "--ip", ip}).exitCode, 0);
  EXPECT_EQ(movar(dir, {"person", "disable", "--all", "--ip", ip}).exitCode, 0);
  const sim::TerminalSettings::State state = net.terminal.part<sim::TerminalSettings>().state();
  EXPECT_EQ(state.clock, (sim::Bytes{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(state.names.at(5), (sim::Bytes{'J', 'o', 's', 0xE9}));
  EXPECT_EQ(state.names.at(6), (sim::Bytes{0xD5, 0xC5, 0xC8, 0xFD}));  // 张三 in GBK
  EXPECT_EQ(state.names.at(7), (sim::Bytes{0xFF, 0x01}));
  EXPECT_EQ(state.allPersons, sim::TerminalSettings::AllPersons::Disabled);
  EXPECT_EQ(movar(dir, {"--json", "realtime", "--ip", ip}).out,
            R"({"record":"00012320090314080507","person":123,"time":"2009-03-14 08:05","machine":7})"
            "\n");
}

// Each refused before any port, socket or file is touched: exit 2, the argument named, no byte
// at either terminal, no --dir made.
TEST(CommandLine, RefusedArgumentsSendNothing) {
  unmapAllPorts();
  auto port = SimPort::on(1, {});
  SimNet net;
  const std::string& ip = net.ip();
  TempDir dir;
  std::ofstream(dir.path() / "ips.txt") << ip << "\n";
  struct Row {
    std::vector<std::string> args;
    std::string named;  // in the message
  };
  const std::string name21(21, 'n'), text101(101, 't');
  const Row rows[] = {
      {{"person", "enable", "99999999", "--ip", ip}, "person: 99999999 is outside 0-65535"},
      {{"person", "enable", "-1", "--com", "1"}, "person"},
      {{"person", "enable", "12x", "--com", "1"}, "person: \"12x\" is not a number"},
      {{"name", "send", "70000", "Bob", "--ip", ip}, "person"},
      {{"door", "mode", "0x100", "--ip", ip}, "mode: 0x100 is outside 0-255"},
      {{"time", "set", "300", "2", "3", "4", "5", "6", "7", "--com", "1"}, "b1"},
      {{"fp", "get", "2048", "0", "1", "--com", "1"}, "id"},
      {{"fp", "del", "1", "16", "1", "--com", "1"}, "attribute"},
      {{"fp", "send", "1", "3", "--com", "1"}, "finger"},
      {{"test", "--com", "1", "--addr", "300"}, "--addr"},
      {{"test", "--com", "99"}, "--com"},
      {{"test", "--com", "0"}, "--com"},
      {{"erase", "--ip", "10.0.0.5 x"}, "--ip"},
      {{"erase", "--ip", "10.0.0.5:1024"}, "--ip"},
      {{"erase", "--ip", "1.2.3"}, "--ip"},
      {{"erase", "--ip", "1.2.3.256"}, "--ip"},
      {{"realtime", "--ip", "abc"}, "--ip"},
      {{"erase", "--com", "1", "--ip", ip}, "one target only"},
      {{"erase", "--device", "/dev/null", "--ip", ip}, "one target only"},
      {{"erase", "--ip", ip, "--addr", "3"}, "--addr"},
      {{"erase"}, "give --com"},
      {{"convert", "d/", "n", "--ip", ip}, "no --com"},
      {{"answer", "5", "--com", "1"}, "not on a serial line"},
      {{"bell", "1", "2", "3", "--ip", ip}, "not over TCP"},
      {{"person", "enable", "--ip", ip}, "give person or --all"},
      {{"time", "set", "1", "2", "--ip", ip}, "required"},
      {{"name", "send", "1", name21, "--com", "1"}, "name: 21 bytes; the terminal holds at most 20"},
      {{"name", "send", "1", std::string(101, 'n'), "--ip", ip}, "at most 100"},
      {{"voice", "send", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", text101, "--ip", ip},
       "text: 101 bytes"},
      {{"voice", "send", "1", "70000", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "t", "--ip", ip},
       "f2"},
      {{"name", "send", "1", "Zo\xC3\xAB", "--ip", ip}, "--encoding"},
      {{"name", "send", "1", "Zo\xC3\xAB", "--encoding", "NO-SUCH-SET", "--ip", ip}, "--encoding NO-SUCH-SET"},
      {{"name", "send", "1", "\xE5\xBC\xA0", "--encoding", "CP1252", "--ip", ip}, "cannot be written in CP1252"},
      {{"name-list", "1", "d/", "ninechars"}, "at most 8"},
      {{"modem", "download", std::string(33, '5'), "--com", "1"}, "number"},
      {{"realtime", "--watch", "--interval", "0", "--ip", ip}, "--interval"},
      {{"collect", "--ips", "ips.txt", "--jobs", "0"}, "--jobs"},
      {{"collect", "--ips", "ips.txt", "--jobs", "-1"}, "--jobs"},
      {{"collect", "--ips", "."}, "is a directory"},
      {{"collect", "--ips", "missing.txt"}, "cannot read"},
      // Store texts that read like connection strings but are not: never a SQLite file of that
      // name, never their password in a message.
      {{"download", "--ip", ip, "--store", "host='/run/pg dbname=facts password=secret"},
       "reads like a PostgreSQL connection string but is not one: unterminated quoted string"},
      {{"collect", "--ips", "ips.txt", "--store", "postgresql://movar:secret@[::1/facts"},
       "\"postgresql://movar:***@[::1/facts\" reads like a PostgreSQL connection string"},
      {{"realtime", "--watch", "--ip", ip, "--store", "postgres://movar@/facts?password=secret&nonsense=1"},
       "invalid URI query parameter: \"nonsense\""},
      {{"records", "--store", "mysql://movar:secret@db/facts"}, "is not a PostgreSQL URI"},
      // Refused before the store is opened: none is made.
      {{"records", "--store", "s.db", "--after", "-1"}, "--after: \"-1\" is not a record's number"},
      {{"status", "--store", "s.db", "--stale", "1d"}, "--stale"},
      {{"download", "--ip", ip, "--store", "facts=2009.db"}, "written ./facts=2009.db"},
      {{"no-such-command"}, "unknown command no-such-command"},
      {{"store", "frobnicate", "--store", "s.db"}, "unknown command store frobnicate"},
      {{"records", "--store", "s.db", "--from", "2009-02-30"}, "--from: 2009-02-30 is not a day of the calendar"},
      {{"records", "--store", "s.db", "--to", "2009-03-01 24:00"}, "--to: 24:00 is not a time of day"},
      {{"records", "--store", "s.db", "--from", "2009-03-02", "--to", "2009-03-01"},
       "--from 2009-03-02 is after --to 2009-03-01"},
      {{"show", "movar.dat", "--store", "s.db"}, "--store goes with download, "},
      {{"show", "movar.dat", "--ip", ip}, "no --com, --device or --ip here"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"--dir", "not-made"});
    const HostRun run = movar(dir, args);
    EXPECT_EQ(run.exitCode, 2) << row.args[0] << " " << row.named << "\n" << run.err;
    EXPECT_TRUE(contains(run.err, row.named)) << row.named << " not in: " << run.err;
    EXPECT_FALSE(contains(run.err + run.out, "secret")) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "not-made"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // ips.txt alone
  EXPECT_TRUE(port.terminal->receivedBytes().empty());
  EXPECT_TRUE(net.terminal.receivedBytes().empty());
}

// Each command's help lists every option it takes, the shared ones too; no group says its
// commands twice.
TEST(CommandLine, HelpShowsWhatEachCommandTakes) {
  struct Row {
    std::vector<std::string> args;
    std::vector<std::string> said, unsaid;
  };
  const Row rows[] = {
      {{"collect", "--help"}, {"--ips FILE", "--jobs", "--every", "--dir DIR", "--json", "--store STORE", "PostgreSQL"},
       {"--ip A.B.C.D", "--encoding"}},
      {{"realtime", "--help"}, {"--watch", "--ip A.B.C.D", "--com N", "--store STORE"}, {}},
      {{"name", "send", "--help"}, {"--encoding", "--ip A.B.C.D"}, {"--store"}},
      {{"records", "--help"}, {"--from", "--store STORE", "--json"}, {"--dir", "--ip"}},
      {{"--help"}, {"the record store: import, init [no terminal]\n"}, {"(import, init)", "also: import"}},
  };
  TempDir dir;
  for (const Row& row : rows) {
    const HostRun run = movar(dir, row.args);
    EXPECT_EQ(run.exitCode, 0) << row.args[0];
    for (const std::string& words : row.said) EXPECT_TRUE(contains(run.out, words)) << words << " not in:\n" << run.out;
    for (const std::string& words : row.unsaid) EXPECT_FALSE(contains(run.out, words)) << words << " in:\n" << run.out;
  }
}

// A failed call says why in the library's own words (exit 1), a local cause with its path and
// the system's reason; nothing connects or opens a port a second time to guess.
TEST(CommandLine, FailuresSaidInWords) {
  unmapAllPorts();
  SimNet net;
  net.terminal.part<sim::RecordMemory>().fill(10);
  const NobodyThere nobody;
  TempDir dir;
  std::ofstream(dir.path() / "file.txt") << "x";
  std::filesystem::create_directories(dir.path() / "blocked" / "movar.dat");
  struct Row {
    std::vector<std::string> args;
    std::vector<std::string> said;
  };
  const Row rows[] = {
      {{"person", "enable", "3", "--ip", nobody.ip()}, {"connection to " + nobody.ip() + ":1024", "refused"}},
      {{"realtime", "--ip", nobody.ip()}, {nobody.ip() + ":1024"}},
      {{"test", "--com", "1"}, {"COM1", "open"}},
      {{"fp", "send", "99", "1", "--com", "1"}, {"FP0099_1.TXT"}},
      {{"download", "--ip", net.ip(), "--dir", "file.txt/sub"},
       {"cannot make the directory file.txt/sub: Not a directory"}},
      {{"download", "--ip", net.ip(), "--dir", "blocked"}, {"blocked/movar.dat", "Is a directory"}},
  };
  for (const Row& row : rows) {
    const HostRun run = movar(dir, row.args);
    EXPECT_EQ(run.exitCode, 1) << row.args[0] << "\n" << run.err;
    for (const std::string& words : row.said) EXPECT_TRUE(contains(run.err, words)) << words << " not in: " << run.err;
  }
  EXPECT_EQ(net.terminal.part<sim::RecordMemory>().count(), 10u);
}

// Ctrl-C ends a download at once, during the transfer or in the pause before the erase, and
// the terminal keeps its records.
TEST(CommandLine, InterruptedDownloadLeavesTheRecords) {
  struct Row {
    const char* when;
    std::vector<sim::BlockFault> faults;
    bool afterTransfer;
  };
  const Row rows[] = {
      {"in the transfer", {{.block = 2, .kind = sim::BlockFault::Kind::Stall, .stall = sim::Millis{3'000}}}, false},
      {"after the transfer, before the erase", {}, true},
  };
  for (const Row& row : rows) {
    SimNet net;
    auto& memory = net.terminal.part<sim::RecordMemory>();
    memory.fill(100);
    memory.script(row.faults);
    TempDir dir;
    Background download(dir, {"download", "--ip", net.ip()});
    ASSERT_TRUE(eventually([&] {
      return row.afterTransfer ? memory.downloadsServed() == 1 : net.terminal.receivedBytes().size() > 16;
    })) << row.when;
    // Not ending in the stall waits 3 s; going through the pause erases.
    EXPECT_TRUE(download.interrupt(hostAllowance(500ms))) << row.when;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(memory.erasures(), 0) << row.when;
    EXPECT_EQ(memory.count(), 100u) << row.when;
  }
}

TEST(CommandLine, ShowMarksWhatIsNotARecordFile) {
  TempDir dir;
  std::mt19937 random(25);
  std::string noise(1000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::ofstream(dir.path() / "noise.bin", std::ios::binary) << noise;
  // Person 300 at 2009-02-03 04:05 on machine 1, then day 30 of February.
  std::ofstream(dir.path() / "two.dat", std::ios::binary) << std::string("\x01\x2C\x92\x03\x04\x45", 6)
                                                          << std::string("\x01\x2C\x92\x1E\x04\x05", 6);

  const HostRun noiseShown = movar(dir, {"show", "noise.bin"});
  EXPECT_EQ(noiseShown.exitCode, 1);
  EXPECT_TRUE(contains(noiseShown.out, "[date or time cannot be real]")) << noiseShown.out;
  EXPECT_TRUE(contains(noiseShown.err, "noise.bin: 4 bytes after the last whole 6-byte record"));
  const HostRun directory = movar(dir, {"show", "two.dat", "."});
  EXPECT_EQ(directory.exitCode, 1);
  EXPECT_TRUE(contains(directory.err, "movar show: .: cannot read: Is a directory")) << directory.err;
  EXPECT_EQ(directory.out, "two.dat:\n"
                           "person   300  2009-02-03 04:05  machine 1\n"
                           "person   300  2009-02-30 04:05  machine 0  [date or time cannot be real]\n");
  EXPECT_EQ(movar(dir, {"show", "--csv", "two.dat"}).out,
            "file,person,time,machine,problem\n"
            "two.dat,300,2009-02-03 04:05,1,\n"
            "two.dat,300,2009-02-30 04:05,0,date or time cannot be real\n");
}

TEST(CommandLine, CollectDownloadsEachListedTerminalOnce) {
  SimNet first, second;
  first.terminal.part<sim::RecordMemory>().fill(100);
  second.terminal.part<sim::RecordMemory>().fill(200);
  const NobodyThere dead;
  TempDir dir;
  std::ofstream(dir.path() / "ips.txt") << "# the floor\n" << first.ip() << "\n" << dead.ip()
                                        << "\n\n" << second.ip() << "\n " << first.ip() << " \n";
  const HostRun run = movar(dir, {"--json", "collect", "--ips", "ips.txt", "--dir", "out", "--jobs", "3"});
  EXPECT_EQ(run.exitCode, 1);  // not all succeeded
  EXPECT_TRUE(contains(run.err, "line 6 repeats " + first.ip() + " from line 2; downloaded once"));
  EXPECT_TRUE(contains(run.out, R"({"ip":")" + first.ip() + R"(","result":0,"ok":true,"records":100,)"))
      << run.out;
  EXPECT_TRUE(contains(run.out, R"({"ip":")" + dead.ip() + R"(","result":1,"ok":false,"records":0,)"))
      << run.out;
  EXPECT_TRUE(contains(run.out, R"({"terminals":3,"ok":2,"failed":1,"not_started":0,"records":300,)"))
      << run.out;
  EXPECT_EQ(first.terminal.part<sim::RecordMemory>().downloadsServed(), 1);
  EXPECT_EQ(lines(readFile(dir.path() / "out" / first.ip() / "movar.txt")), 100);
  EXPECT_EQ(lines(readFile(dir.path() / "out" / second.ip() / "movar.txt")), 200);
  EXPECT_EQ(readFile(dir.path() / "out" / second.ip() / "movar-terminal.txt"), second.ip() + "\n");

  // A list that is not one stops everything before it starts; nothing is made.
  const struct {
    std::string list, said;
  } refused[] = {
      {first.ip() + "\n../../x\n", "bad.txt line 2: \"../../x\" is not an IPv4 address"},
      {"# the floor, to be filled in\n\n", "bad.txt: lists no terminal (only blank lines and # comments)"},
      {"\xEF\xBB\xBF" + first.ip() + "\n", "bad.txt: starts with a byte-order mark"},
  };
  for (const auto& row : refused) {
    std::ofstream(dir.path() / "bad.txt") << row.list;
    const HostRun bad = movar(dir, {"collect", "--ips", "bad.txt", "--dir", "bad-out"});
    EXPECT_EQ(bad.exitCode, 2) << row.said;
    EXPECT_TRUE(contains(bad.err, row.said)) << bad.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "bad-out"));
  EXPECT_EQ(first.terminal.part<sim::RecordMemory>().downloadsServed(), 1);
}

// While a collection runs: a line as each terminal finishes, Ctrl-C acknowledged at once with
// the downloads it waits for (a second one ends it), and the round's line counting the
// terminals it never started, its failures as a list, and a round longer than --every.
// Terminals in list order, one at a time where a row interrupts: quick, unreachable, slow
// (stalled where a row says), and one never started.
TEST(CommandLine, CollectSaysWhatHappensWhileItRuns) {
  struct Row {
    std::vector<std::string> args;
    sim::Millis stall;  // in the slow terminal's transfer, beyond the download's own closing pause
    bool interrupt, again;
    std::vector<std::string> said;  // on standard output, DEAD for the unreachable one's address
  };
  const Row rows[] = {
      {{}, sim::Millis{60'000}, true, true, {"  ok\n", "  failed: connection to DEAD:1024"}},
      {{"--json", "--every", "1h"}, sim::Millis{0}, true, false,
       {R"(,"terminals":4,"ok":2,"not_started":1,"records":60,"seconds":)",
        R"(,"failures":[{"ip":"DEAD","error":"connection to DEAD:1024)"}},
      {{"--every", "1s"}, sim::Millis{0}, false, false,
       {"round 1 at ", ": 3 of 4 terminals ok, 90 records, ",
        " s (longer than --every 1s: the next round starts at once); DEAD: connection to DEAD:1024"}},
  };
  for (const Row& row : rows) {
    SimNet quick, slow, last;
    const NobodyThere dead;
    for (SimNet* net : {&quick, &slow, &last}) net->terminal.part<sim::RecordMemory>().fill(30);
    if (row.stall.count() > 0) {
      slow.terminal.part<sim::RecordMemory>().script({{.block = 2, .kind = sim::BlockFault::Kind::Stall, .stall = row.stall}});
    }
    TempDir dir;
    std::ofstream(dir.path() / "floor.txt") << quick.ip() << "\n" << dead.ip() << "\n" << slow.ip() << "\n" << last.ip() << "\n";
    std::vector<std::string> args{"collect", "--ips", "floor.txt", "--jobs", row.interrupt ? "1" : "4"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    Background collector(dir, args);
    const auto out = [&] { return readFile(dir.path() / ".background-out"); };
    const auto err = [&] { return readFile(dir.path() / ".background-err"); };
    const std::string args0 = row.args.empty() ? "one round" : row.args.back();
    if (!row.interrupt) {  // the first round's line, then Ctrl-C twice
      ASSERT_TRUE(eventually([&] { return lines(out()) >= 1; }, hostAllowance(30s))) << args0;
      EXPECT_FALSE(collector.signal(SIGINT, 0ms));
      EXPECT_TRUE(eventually([&] { return contains(err(), "stopping"); }, hostAllowance(2s)));  // one signal at a time
      EXPECT_TRUE(collector.interrupt(hostAllowance(2s))) << args0;
    } else {
      ASSERT_TRUE(eventually([&] { return slow.terminal.receivedBytes().size() > 16; }, hostAllowance(30s))) << args0;
      if (row.args.empty()) {
        EXPECT_TRUE(contains(out(), quick.ip() + "  ")) << "no line before the end: " << out();
      }
      EXPECT_FALSE(collector.signal(SIGINT, 0ms));
      EXPECT_TRUE(eventually([&] {
        return contains(err(), "movar collect: stopping after 1 running download; Ctrl-C again to stop now\n");
      }, hostAllowance(2s))) << args0 << ": " << err();
      if (row.again) {
        EXPECT_FALSE(collector.wait(0ms)) << "ended before its download did";
        EXPECT_TRUE(collector.interrupt(hostAllowance(2s))) << "a second Ctrl-C waited for the download";
      } else {
        const std::optional<int> status = collector.wait(hostAllowance(30s));
        ASSERT_TRUE(status) << args0;
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 130) << args0;
      }
    }
    for (std::string said : row.said) {
      for (std::size_t at; (at = said.find("DEAD")) != std::string::npos;) said.replace(at, 4, dead.ip());
      EXPECT_TRUE(contains(out(), said)) << args0 << ": " << said << " not in\n" << out();
    }
    EXPECT_FALSE(contains(out(), "store")) << args0 << ": " << out();
  }
}


// The record store: each attendance fact once, whatever brings it again (a download after a
// restore, an import of the same files), and the queries payroll runs.
TEST(CommandLine, StoreKeepsEachFactOnce) {
  SimNet net;
  net.terminal.part<sim::RecordMemory>().fill(30);
  TempDir dir;
  const std::string& ip = net.ip();
  const HostRun first = movar(dir, {"download", "--ip", ip, "--dir", "d", "--store", "s.db"});
  EXPECT_EQ(first.exitCode, 0);
  EXPECT_TRUE(contains(first.out, "stored: 30 new of 30 records\n")) << first.out;
  EXPECT_EQ(movar(dir, {"restore", "--all", "--ip", ip}).exitCode, 0);
  const HostRun again = movar(dir, {"--json", "download", "--ip", ip, "--dir", "d", "--store", "s.db"});
  EXPECT_TRUE(contains(again.out, R"("stored":0})")) << again.out;
  for (int pass = 0; pass < 2; ++pass) {
    const HostRun imported = movar(dir, {"store", "import", "--store", "s.db", "--terminal", ip, "d"});
    EXPECT_EQ(imported.exitCode, 0);
    EXPECT_TRUE(contains(imported.out, "3 files: 90 records, 0 new in the store\n")) << imported.out;
  }
  // The way back after a store failure, with the folder moved: the download said where it came from.
  EXPECT_EQ(readFile(dir.path() / "d" / "movar-terminal.txt"), ip + "\n");
  std::filesystem::rename(dir.path() / "d", dir.path() / "r");
  const HostRun moved = movar(dir, {"store", "import", "--store", "s.db", "r"});
  EXPECT_EQ(moved.exitCode, 0) << moved.err;
  EXPECT_TRUE(contains(moved.out, "r/movar.dat (" + ip + "): 30 records, 0 new\n")) << moved.out;
  EXPECT_TRUE(contains(moved.out, "3 files: 90 records, 0 new in the store\n")) << moved.out;
  {  // A second terminal downloaded into the same folder: its files can no longer be told apart.
    SimNet other;
    other.terminal.part<sim::RecordMemory>().fill(5);
    EXPECT_EQ(movar(dir, {"download", "--ip", other.ip(), "--dir", "r"}).exitCode, 0);
    EXPECT_EQ(readFile(dir.path() / "r" / "movar-terminal.txt"), ip + "\n" + other.ip() + "\n");
    const HostRun mixed = movar(dir, {"store", "import", "--store", "s.db", "r"});
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_TRUE(contains(mixed.err, "(its folder holds downloads of " + ip + " " + other.ip() +
                                        "); name it with --terminal")) << mixed.err;
  }
  const HostRun all = movar(dir, {"records", "--store", "s.db", "--csv"});
  EXPECT_EQ(lines(all.out), 31);
  EXPECT_EQ(all.out.substr(0, all.out.find('\n')), "time,person,machine,terminal,collected,seq");
  // Record i is dated 2009-(1 + i % 12)-(1 + i % 28): March holds records 2, 14 and 26.
  const HostRun march = movar(dir, {"--json", "records", "--store", "s.db", "--from", "2009-03-01",
                                    "--to", "2009-03-31"});
  EXPECT_EQ(lines(march.out), 3);
  EXPECT_TRUE(contains(march.out, R"({"time":"2009-03-03 02:02","person":2,"machine":0,"terminal":")" + ip))
      << march.out;
  EXPECT_EQ(lines(movar(dir, {"records", "--store", "s.db", "--person", "14"}).out), 1);
  EXPECT_EQ(movar(dir, {"records", "--store", "s.db", "--from", "March"}).exitCode, 2);
}

// A terminal away is named by `status` with the reason (exit 1, for cron and monitoring) until it
// is collected again; payroll's "what is new since my last read" is exactly the later download's
// facts; and a reader needs no write permission (another user, the folder not writable).
TEST(CommandLine, StatusNamesATerminalAwayAndRecordsAfterGivesWhatCameSince) {
  SimNet here;
  here.terminal.part<sim::RecordMemory>().fill(10);
  std::optional<NobodyThere> away(std::in_place);
  const std::string awayIp = away->ip();
  TempDir dir;
  std::ofstream(dir.path() / "ips.txt") << here.ip() << "\n" << awayIp << "\n";
  const std::vector<std::string> collect{"collect", "--ips", "ips.txt", "--dir", "site", "--store", "s.db"};
  EXPECT_EQ(movar(dir, collect).exitCode, 1);
  const HostRun down = movar(dir, {"status", "--store", "s.db"});
  EXPECT_EQ(down.exitCode, 1);
  EXPECT_TRUE(contains(down.out, awayIp + ": failed at ")) << down.out;
  EXPECT_TRUE(contains(down.out, " UTC (connection to " + awayIp + ":1024 failed: Connection refused), last "
                                 "success never, 1 failed in a row\n")) << down.out;
  EXPECT_TRUE(contains(down.out, here.ip() + ": ok at ")) << down.out;
  const auto factsOf = [](const std::string& csv) {  // "person terminal" -> seq
    std::map<std::string, long long> facts;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {  // time,person,machine,terminal,collected,seq
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string f; std::getline(split, f, ',');) fields.push_back(f);
      if (fields.size() == 6) facts[fields[1] + " " + fields[3]] = std::stoll(fields[5]);
    }
    return facts;
  };
  const auto before = factsOf(movar(dir, {"records", "--store", "s.db", "--csv"}).out);
  ASSERT_EQ(before.size(), 10u);
  long long last = 0;
  for (const auto& [fact, seq] : before) last = std::max(last, seq);

  // Back on the same address, and new records on the other terminal.
  sim::Terminal back;
  sim::installStandardCommands(back);
  back.part<sim::RecordMemory>().fill(3);
  away.reset();
  const sim::TcpListener listening(back, awayIp);
  here.terminal.part<sim::RecordMemory>().load(sim::RecordMemory::records(10, 5));
  EXPECT_EQ(movar(dir, collect).exitCode, 0);

  // The reader: another user where the tests run as root, else the store and its folder read-only.
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                               std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
  const bool root = ::geteuid() == 0;
  if (!root) {
    std::filesystem::permissions(dir.path() / "s.db", std::filesystem::perms::owner_read);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  }
  const auto reader = [&](std::vector<std::string> args) {
    if (!root) return movar(dir, args);
    args.insert(args.begin(), {"-u", "nobody", "--", MOVAR_CLI_PATH});
    return runIn(dir.path(), "/usr/sbin/runuser", args);
  };
  const HostRun up = reader({"status", "--store", "s.db"});
  EXPECT_EQ(up.exitCode, 0) << up.out << up.err;
  EXPECT_TRUE(contains(up.out, awayIp + ": ok at ")) << up.out;
  EXPECT_TRUE(contains(up.out, " UTC (3 records), 0 failed in a row\n")) << up.out;
  const HostRun since = reader({"records", "--store", "s.db", "--after", std::to_string(last), "--csv"});
  EXPECT_EQ(since.exitCode, 0) << since.err;
  std::set<std::string> expected;
  for (int person = 10; person < 15; ++person) expected.insert(std::to_string(person) + " " + here.ip());
  for (int person = 0; person < 3; ++person) expected.insert(std::to_string(person) + " " + awayIp);
  std::set<std::string> got;
  for (const auto& [fact, seq] : factsOf(since.out)) {
    got.insert(fact);
    EXPECT_GT(seq, last) << fact;
  }
  EXPECT_EQ(got, expected) << since.out;

  // No success within a second, two seconds on: a failure to report.
  std::this_thread::sleep_for(2100ms);
  const HostRun stale = reader({"status", "--store", "s.db", "--stale", "1s"});
  EXPECT_EQ(stale.exitCode, 1);
  EXPECT_TRUE(contains(stale.out, ", stale: no success within 1s\n")) << stale.out;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
}

// Each file's facts go under the terminal it came from, or under none: never under wherever the
// file happens to lie.
TEST(CommandLine, ImportNamesEachFileByTheTerminalItCameFrom) {
  struct Row {
    const char* file;    // holds person 300 at 2009-02-03 04:05, machine 1
    const char* origin;  // what its folder's movar-terminal.txt says, if it has one
    std::vector<std::string> args;
    int exitCode;
    std::string said;
  };
  const Row rows[] = {
      {"site/movar.dat", nullptr, {"site"}, 1,
       "cannot tell which terminal site/movar.dat came from; name it with --terminal"},
      {"site/movar.dat", nullptr, {"--terminal", "COM2:5", "site"}, 0, "site/movar.dat (COM2:5): 1 records, 1 new"},
      {"elsewhere/movar.dat", "10.0.0.9\n", {"--terminal", "COM2:5", "elsewhere"}, 0, "(10.0.0.9): 1 records, 1 new"},
      {"10.0.0.5/DOWNBAK/K0314080500_00.DAT", nullptr, {"10.0.0.5"}, 0,
       "10.0.0.5/DOWNBAK/K0314080500_00.DAT (10.0.0.5): 1 records, 1 new"},
      {"COM1:7/MOVAR.DAT", nullptr, {"COM1:7"}, 0, "COM1:7/MOVAR.DAT (COM1:7): 1 records, 1 new"},
      {"10.0.0.5/movar.txt", nullptr, {"10.0.0.5/movar.txt"}, 1,
       "not a record file (those end in .dat): 10.0.0.5/movar.txt"},
      {"shared/movar.dat", "10.0.0.5\n10.0.0.6\n", {"shared"}, 1,
       "cannot tell which terminal shared/movar.dat came from (its folder holds downloads of 10.0.0.5 "
       "10.0.0.6); name it with --terminal"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    const auto file = dir.path() / row.file;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << std::string("\x01\x2C\x92\x03\x04\x45", 6);
    if (row.origin) std::ofstream(file.parent_path() / "movar-terminal.txt") << row.origin;
    std::vector<std::string> args{"store", "import", "--store", "s.db"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const HostRun run = movar(dir, args);
    EXPECT_EQ(run.exitCode, row.exitCode) << row.file << "\n" << run.out << run.err;
    EXPECT_TRUE(contains(run.out + run.err, row.said)) << row.file << "\n" << run.out << run.err;
    EXPECT_EQ(lines(movar(dir, {"records", "--store", "s.db"}).out), row.exitCode == 0 ? 1 : 0) << row.file;
  }
}

// Rounds until SIGTERM, each said in a line; a collector killed in the middle of a round leaves
// a store that opens and holds whole downloads only.
TEST(CommandLine, ScheduledCollectionAndAKilledCollector) {
  SimNet net;
  net.terminal.part<sim::RecordMemory>().fill(50);
  TempDir dir;
  std::ofstream(dir.path() / "one.txt") << net.ip() << "\n";
  for (const int signal : {SIGTERM, SIGHUP}) {
    std::filesystem::remove(dir.path() / ".background-out");  // the lines of this run only
    Background rounds(dir, {"collect", "--ips", "one.txt", "--dir", "site", "--store", "s.db", "--every", "1s"});
    EXPECT_TRUE(eventually([&] { return lines(readFile(dir.path() / ".background-out")) >= 2; }, hostAllowance(30s)));
    const std::optional<int> status = rounds.signal(signal, hostAllowance(10s));
    ASSERT_TRUE(status) << signal;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 130) << signal;
    const std::string out = readFile(dir.path() / ".background-out");
    EXPECT_TRUE(contains(out, "round 1 at ")) << out;
    EXPECT_TRUE(contains(out, signal == SIGTERM ? "1 of 1 terminals ok, 50 records, 50 new in the store"
                                                : "1 of 1 terminals ok, 0 records, 0 new in the store")) << out;
    EXPECT_TRUE(contains(out, "round 2 at ")) << out;
  }

  std::vector<std::unique_ptr<SimNet>> floor;
  std::ofstream list(dir.path() / "floor.txt");
  for (int k = 0; k < 3; ++k) {
    floor.push_back(std::make_unique<SimNet>());
    floor.back()->terminal.part<sim::RecordMemory>().fill(400);
    list << floor.back()->ip() << "\n";
  }
  list.close();
  const auto storedPerTerminal = [&] {
    std::map<std::string, int> count;
    const HostRun facts = movar(dir, {"records", "--store", "kill.db", "--csv"});
    std::istringstream in(facts.out);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {  // time,person,machine,terminal,collected,seq
      std::istringstream fields(line);
      std::string terminal;
      for (int k = 0; k < 4; ++k) std::getline(fields, terminal, ',');
      ++count[terminal];
    }
    return count;
  };
  {
    Background collector(dir, {"collect", "--ips", "floor.txt", "--dir", "site", "--store", "kill.db", "--jobs", "1"});
    // Killed while the second terminal's download runs: the first is stored, the second not yet.
    EXPECT_TRUE(eventually([&] {
      std::this_thread::sleep_for(200ms);  // a reader now and then, not a crowd of them
      return !storedPerTerminal().empty();
    }, 30s));
    EXPECT_TRUE(collector.signal(SIGKILL, 10s));
  }
  const auto stored = storedPerTerminal();
  EXPECT_FALSE(stored.empty());
  for (const auto& [terminal, count] : stored) EXPECT_EQ(count, 400) << terminal;
  // Each stored download with its row, and no row without its facts.
  std::map<std::string, int> logged;
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir.path() / "kill.db").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  sqlite3_stmt* rows = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.get(), "SELECT terminal, new_records FROM collections WHERE result = 'ok'",
                               -1, &rows, nullptr),
            SQLITE_OK);
  while (sqlite3_step(rows) == SQLITE_ROW) {
    logged[reinterpret_cast<const char*>(sqlite3_column_text(rows, 0))] = sqlite3_column_int(rows, 1);
  }
  sqlite3_finalize(rows);
  EXPECT_EQ(logged, stored);
}

// Collectors at four sites writing into one PostgreSQL at once, over lists that overlap, twice
// (the terminals restored in between): every fact once, and the same facts a SQLite store gets
// from the files they left.
TEST(CommandLine, CollectorsAtOnceKeepEachFactOnceInPostgres) {
  PgCluster pg;
  if (!pg.installed()) GTEST_SKIP() << "no PostgreSQL server installed";
  std::vector<std::unique_ptr<SimNet>> terminals;
  for (int k = 0; k < 4; ++k) {
    terminals.push_back(std::make_unique<SimNet>());
    terminals.back()->terminal.part<sim::RecordMemory>().fill(static_cast<std::uint32_t>(40 + k));
  }
  TempDir dir;
  for (int site = 0; site < 4; ++site) {
    std::ofstream list(dir.path() / ("site" + std::to_string(site) + ".txt"));
    for (int k = 0; k < 3; ++k) list << terminals[static_cast<std::size_t>((site + k) % 4)]->ip() << "\n";
  }
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<std::unique_ptr<Background>> collectors;
    for (int site = 0; site < 4; ++site) {
      collectors.push_back(std::make_unique<Background>(
          dir, std::vector<std::string>{"collect", "--ips", "site" + std::to_string(site) + ".txt", "--dir",
                                        "site" + std::to_string(site), "--store", pg.uri()}));
    }
    for (auto& c : collectors) EXPECT_TRUE(c->wait(120s));
    for (auto& t : terminals) t->terminal.part<sim::RecordMemory>().restore();
  }
  const auto facts = [&](const std::string& store) {
    const HostRun run = movar(dir, {"records", "--store", store, "--csv"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> rows;  // without the time of collection and the store's number
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) {
      line.erase(line.rfind(','));
      rows.push_back(line.substr(0, line.rfind(',')));
    }
    return rows;
  };
  const std::vector<std::string> fromPostgres = facts(pg.uri());
  EXPECT_EQ(fromPostgres.size(), 1u + 40 + 41 + 42 + 43);
  EXPECT_EQ(std::set<std::string>(fromPostgres.begin(), fromPostgres.end()).size(), fromPostgres.size());
  for (int site = 0; site < 4; ++site) {
    EXPECT_EQ(movar(dir, {"store", "import", "--store", "files.db", "site" + std::to_string(site)}).exitCode, 0);
  }
  EXPECT_EQ(facts("files.db"), fromPostgres);
  const HostRun again = movar(dir, {"store", "import", "--store", pg.uri(), "site0", "site1", "site2", "site3"});
  EXPECT_TRUE(contains(again.out, "records, 0 new in the store")) << again.out;
}


// A store that opens but refuses writes is found out before the terminal hears a byte; one that
// fails when the download's records are committed holds the erase: the terminal keeps every
// record, the files stay. (A trigger stands for an archive its owner locked, or a full disk.)
TEST(CommandLine, TheEraseWaitsForTheStore) {
  struct Row {
    const char* what;
    bool collect;
    const char* refused;  // the trigger's condition
    bool terminalTouched;
    const char* said;
  };
  const Row rows[] = {
      {"every write refused, download", false, "1", false, "cannot write to the store"},
      {"every write refused, collect", true, "1", false, "cannot write to the store"},
      {"the commit fails after the transfer, download", false, "NEW.person = 5", true,
       "received 30 records, but not erased: not in the store (the record files keep them): "},
      {"the commit fails after the transfer, collect", true, "NEW.person = 5", true,
       "received 30 records, but not erased: not in the store"},
  };
  for (const Row& row : rows) {
    SimNet net;
    auto& memory = net.terminal.part<sim::RecordMemory>();
    memory.fill(30);
    TempDir dir;
    ASSERT_EQ(movar(dir, {"store", "init", "--store", "s.db"}).exitCode, 0);
    sqlite(dir.path() / "s.db", std::string("CREATE TRIGGER refuse BEFORE INSERT ON attendance WHEN ") +
                                    row.refused + " BEGIN SELECT RAISE(ABORT, 'the store is closed'); END");
    std::ofstream(dir.path() / "ips.txt") << net.ip() << "\n";
    const HostRun run = movar(dir, row.collect ? std::vector<std::string>{"collect", "--ips", "ips.txt", "--dir", "d", "--store", "s.db"}
                                               : std::vector<std::string>{"download", "--ip", net.ip(), "--dir", "d", "--store", "s.db"});
    EXPECT_EQ(run.exitCode, 1) << row.what << "\n" << run.out << run.err;
    EXPECT_TRUE(contains(run.out + run.err, row.said)) << row.what << ": " << run.out << run.err;
    EXPECT_TRUE(contains(run.out + run.err, "the store is closed")) << row.what;
    EXPECT_EQ(!net.terminal.receivedBytes().empty(), row.terminalTouched) << row.what;
    EXPECT_EQ(memory.erasures(), 0) << row.what;
    EXPECT_EQ(memory.count(), 30u) << row.what;
    const auto folder = dir.path() / "d" / (row.collect ? net.ip() : "");
    if (row.terminalTouched) {
      EXPECT_EQ(std::filesystem::file_size(folder / "movar.dat"), 30u * 6) << row.what;
    }
    EXPECT_EQ(lines(movar(dir, {"records", "--store", "s.db"}).out), 0) << row.what;
  }
}

// A transfer that succeeded but whose records were not converted or backed up is no success:
// said, exit 1, and the terminal keeps its records.
TEST(CommandLine, ReceivedButNotErasedIsSaid) {
  struct Row {
    const char* blocker;  // a folder or file in the way in --dir
    bool folder;
    const char* said;
  };
  const Row rows[] = {
      {"movar.txt", true, "movar.txt"},
      {"downbak", false, "downbak"},
  };
  for (const Row& row : rows) {
    SimNet net;
    auto& memory = net.terminal.part<sim::RecordMemory>();
    memory.fill(20);
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "d");
    if (row.folder) std::filesystem::create_directories(dir.path() / "d" / row.blocker);
    else std::ofstream(dir.path() / "d" / row.blocker) << "x";
    const HostRun run = movar(dir, {"download", "--ip", net.ip(), "--dir", "d"});
    EXPECT_EQ(run.exitCode, 1) << row.blocker << "\n" << run.out << run.err;
    EXPECT_TRUE(contains(run.err, "movar download: received 20 records, but not erased: ")) << run.err;
    EXPECT_TRUE(contains(run.err, row.said)) << run.err;
    EXPECT_FALSE(contains(run.out, "ok")) << run.out;
    EXPECT_EQ(memory.erasures(), 0) << row.blocker;
    EXPECT_EQ(memory.count(), 20u) << row.blocker;
  }
}

// `realtime --watch | head -1`: the record taken after the reader went away is in the store;
// without a store none is taken from the terminal that nothing could keep (or, where the poll
// was already under way, it is said on stderr).
TEST(CommandLine, AClosedOutputNeverCostsALiveRecord) {
  for (const bool withStore : {true, false}) {
    SimNet net;
    auto& live = net.terminal.part<sim::LiveRecords>();
    live.push({0x00, 0x7B, 0x93, 0x0E, 0x28, 0xC5});  // person 123
    TempDir dir;
    const char* wrapper = std::getenv("MOVAR_TEST_WRAPPER");
    const std::string command = "cd '" + dir.path().string() + "' && { timeout 120 " + (wrapper ? wrapper : "") + " '" +
                                MOVAR_CLI_PATH + "' realtime --watch --interval 20 --ip " + net.ip() +
                                (withStore ? " --store s.db" : "") +
                                " 2>err; echo $? >status; } | { head -1 >out; exec 0<&-; touch closed; }";
    auto pipeline = std::async(std::launch::async, [&] { return std::system(command.c_str()); });
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir.path() / "closed"); }, 60s));
    live.push({0x01, 0xC8, 0x93, 0x0E, 0x28, 0xC5});  // person 456
    ASSERT_TRUE(eventually([&] { return !readFile(dir.path() / "status").empty(); }, 60s));
    pipeline.get();
    EXPECT_EQ(readFile(dir.path() / "out"), "person 123 at 2009-03-14 08:05 on machine 7 (00012320090314080507)\n");
    const std::string err = readFile(dir.path() / "err");
    if (withStore) {
      EXPECT_EQ(readFile(dir.path() / "status"), "0\n") << err;
      const HostRun stored = movar(dir, {"records", "--store", "s.db"});
      EXPECT_TRUE(contains(stored.out, "2009-03-14 08:05  person   456  machine   7")) << stored.out << err;
      EXPECT_EQ(lines(stored.out), 2);
    } else {
      const bool onStderr = contains(err, "after record 00045620090314080507 (not stored: this line is its only copy)");
      EXPECT_TRUE(live.waiting() == 1 || onStderr) << err;
    }
  }
}

// A 1 GB file imports in a few MB (a hole, then one record); FIFOs are refused without waiting
// for a writer; a link out of the folder searched is not followed; a subfolder that cannot be
// searched is said while the rest imports.
TEST(CommandLine, ImportReadsOnlyTheFilesOfItsFoldersInBoundedMemory) {
  TempDir dir;
  const auto site = dir.path() / "site";
  std::filesystem::create_directories(site / "big");
  constexpr std::uintmax_t kRecords = (1u << 30) / 6 + 1;
  {
    std::ofstream big(site / "big" / "movar.dat", std::ios::binary);
    big.seekp(static_cast<std::streamoff>((kRecords - 1) * 6));
    big << std::string("\x01\x2C\x92\x03\x04\x45", 6);  // person 300 at 2009-02-03 04:05, machine 1
  }
  ASSERT_EQ(std::filesystem::file_size(site / "big" / "movar.dat"), kRecords * 6);
  std::filesystem::create_directories(site / "fifo");
  ASSERT_EQ(::mkfifo((site / "fifo" / "movar.dat").c_str(), 0600), 0);
  std::ofstream(dir.path() / "elsewhere.dat", std::ios::binary) << std::string("\x00\x07\x92\x03\x04\x45", 6);
  std::filesystem::create_directories(site / "linked");
  std::filesystem::create_symlink(dir.path() / "elsewhere.dat", site / "linked" / "movar.dat");
  std::filesystem::create_directories(site / "locked");
  std::ofstream(site / "locked" / "movar.dat", std::ios::binary) << std::string("\x00\x08\x92\x03\x04\x45", 6);
  std::filesystem::create_directories(dir.path() / "store");
  // Root searches any folder: the import runs as nobody then.
  std::vector<std::string> asSomeone;
  if (::geteuid() == 0) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      EXPECT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
    }
    ::chmod(dir.path().c_str(), 0755);
    asSomeone = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  ::chmod((site / "locked").c_str(), 0);
  std::vector<std::string> args = asSomeone;
  args.insert(args.end(), {MOVAR_CLI_PATH, "store", "import", "--store", "store/s.db", "--terminal", "big", "site"});
  const Measured run = measured(dir, args, 120s);
  ::chmod((site / "locked").c_str(), 0755);
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
#if defined(__SANITIZE_ADDRESS__)
  // ASan's shadow and quarantine hold memory of their own; a read of the whole file still shows.
  constexpr long kPeakKilobytes = 256 * 1024;
#else
  constexpr long kPeakKilobytes = 64 * 1024;
#endif
  EXPECT_LT(run.peakKilobytes, kPeakKilobytes);  // against the file's 1 GB
  EXPECT_TRUE(contains(run.out, "site/big/movar.dat (big): 1 records, 1 new, " + std::to_string(kRecords - 1) +
                                    " with an impossible date or time left out\n")) << run.out;
  EXPECT_TRUE(contains(run.err, "cannot read site/fifo/movar.dat: a FIFO, not a file")) << run.err;
  EXPECT_TRUE(contains(run.err, "not read: site/linked/movar.dat links to " + (dir.path() / "elsewhere.dat").string())) << run.err;
  EXPECT_TRUE(contains(run.err, "cannot search site/locked: Permission denied")) << run.err;
  EXPECT_EQ(movar(dir, {"records", "--store", "store/s.db"}).out, "2009-02-03 04:05  person   300  machine   1  big\n");
  const HostRun fifo = movar(dir, {"show", "site/fifo/movar.dat"});
  EXPECT_EQ(fifo.exitCode, 1);
  EXPECT_EQ(fifo.err, "movar show: site/fifo/movar.dat: cannot read: a FIFO, not a file\n");
}

}  // namespace
}  // namespace movar::itest
