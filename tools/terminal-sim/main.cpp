// movar-terminal: a simulated terminal on a pty and/or 127.0.0.x:1024, until stdin closes or a
// signal ends it. Prints "pty <path>", "modem-pty <path>" and "tcp <ip>:1024" once it listens.
#include <CLI/CLI.hpp>
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <ctime>
#include <optional>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "backup_device.h"
#include "fingerprint_unit.h"
#include "live_records.h"
#include "modem.h"
#include "pty_port.h"
#include "punches.h"
#include "record_memory.h"
#include "standard_terminal.h"
#include "tcp_listener.h"
#include "terminal_settings.h"

namespace {

using namespace movar::sim;

volatile std::sig_atomic_t stopRequested = 0;

const char* kRateChange =
    "A rate-change message (20 x 63, 20 x 6A, 12 message bytes, a code) is acknowledged and moves "
    "the terminal to the speed its last byte names: 1 1200, 2 2400, 3 4800, 4 9600, 5 19200, "
    "6 38400, 0 and 7 57600 (other codes keep the speed).";

// What a command code opens (the terminal tells the variants apart by their blocks).
const std::map<std::uint8_t, const char*> kCommands{
    {0x00, "port test"},        {0x01, "record download"},      {0x02, "clock"},
    {0x03, "lock number, card-only list or answer"},            {0x04, "machine number"},
    {0x05, "delete all names"}, {0x06, "door switch or name renumbering"},
    {0x07, "password"},         {0x08, "enable all"},           {0x09, "disable all"},
    {0x0A, "enable person"},    {0x0B, "disable person"},       {0x0C, "restore"},
    {0x0D, "erase"},            {0x0E, "name or backup trigger"}, {0x0F, "restore all"},
    {0x10, "set SN"},           {0x11, "delete SN"},            {0x12, "SN query or fingerprint unit"},
    {0x13, "open mode or SN/card mode"}, {0x14, "open time, card wait or voice record"},
    {0x15, "delete voice"},     {0x16, "real-time poll or SN length"}, {0x17, "real-time poll"},
    {0x18, "bell"},
};

Bytes fromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  }
  return bytes;
}

// "PERSON NAME" per line; the name's bytes as they stand in the file.
bool loadNames(Terminal& terminal, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto space = line.find(' ');
    if (space == std::string::npos) continue;
    terminal.part<TerminalSettings>().setName(static_cast<std::uint16_t>(std::stoul(line.substr(0, space))),
                                              Bytes(line.begin() + static_cast<long>(space) + 1, line.end()));
  }
  return true;
}

// A stable name for the pty, replaced when it exists and removed with the object.
class PtyLink {
 public:
  PtyLink(const std::string& link, const std::string& target) : link_(link) {
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
    std::filesystem::create_symlink(target, link_);
  }
  ~PtyLink() {
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
  }
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;

 private:
  std::filesystem::path link_;
};

// The n-th loopback address after `first` (consecutive as numbers), or "" past 127.255.255.255.
std::string loopbackAfter(const std::string& first, std::uint32_t n) {
  in_addr address{};
  if (::inet_pton(AF_INET, first.c_str(), &address) != 1) return "";
  const std::uint64_t value = std::uint64_t{ntohl(address.s_addr)} + n;
  if (value >> 24 != 127) return "";
  address.s_addr = htonl(static_cast<std::uint32_t>(value));
  char text[INET_ADDRSTRLEN];
  return ::inet_ntop(AF_INET, &address, text, sizeof text) ? text : "";
}

// Terminal k of a fleet: records of its own (persons from k * n on) stamped with machine number
// k % 32.
Bytes fleetRecords(std::uint32_t k, std::uint32_t n) {
  Bytes records = RecordMemory::records(k * n, n);
  const unsigned machine = k % 32;
  for (std::size_t at = 0; at + 6 <= records.size(); at += 6) {
    records[at + 4] = static_cast<std::uint8_t>(records[at + 4] | (machine / 4) << 5);
    records[at + 5] = static_cast<std::uint8_t>(records[at + 5] | (machine % 4) << 6);
  }
  return records;
}

// A thousand terminals want a descriptor each for listening and for their connections.
void raiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// Stops every listener, so that the count is final, and says it: a run that says 0 had none.
int finish(std::vector<std::unique_ptr<TcpListener>>& listeners, int status) {
  int refused = 0;
  for (const auto& listener : listeners) {
    listener->stop();
    refused += listener->sessionsRefused();
  }
  std::fprintf(stderr, "movar-terminal: second sessions refused: %d\n", refused);
  return status;
}

struct Options {
  int address = 1;
  bool pty = false, modemPty = false, log = false, logBytes = false, pace = false;
  std::string ptyLink, ack = "06", namesFile, punches;
  int ackDelay = 0;
  std::uint32_t records = 0;
  int templates = 0;
  std::size_t backupBytes = 0;
  int count = 1;
  std::vector<std::string> tcp, live, fingerprints;
  std::vector<int> speeds;
};

// Each second session a terminal refuses is said as it happens; the total when the simulator ends.
void sayRefused(const std::string& ip, int refusedSoFar) {
  std::fprintf(stderr, "movar-terminal: %s:1024: second session refused while one is open (%d in all)\n", ip.c_str(),
               refusedSoFar);
}

// `waitMask`: the signal mask while the loop waits; SIGINT and SIGTERM are blocked outside it, in
// every thread, so that they always wake the wait.
int serve(const Options& o, const sigset_t& waitMask) {
  TerminalConfig config;
  config.address = static_cast<std::uint8_t>(o.address);
  if (o.ack == "none") {
    config.ack.reset();
  } else {
    config.ack = static_cast<std::uint8_t>(std::stoi(o.ack, nullptr, 16));
  }
  config.ackDelay = Millis(o.ackDelay);
  config.paceOutput = o.pace;
  if (!o.speeds.empty()) config.speeds = {o.speeds.begin(), o.speeds.end()};

  Terminal terminal(config);
  installStandardCommands(terminal);
  for (const std::string& hex : o.live) terminal.part<LiveRecords>().push(fromHex(hex));
  terminal.part<RecordMemory>().fill(o.records);
  FingerprintUnit& unit = terminal.part<FingerprintUnit>();
  if (o.templates > 0) unit.fill(o.templates);
  for (const std::string& key : o.fingerprints) {
    int id = 0, attribute = 0, finger = 0;
    if (std::sscanf(key.c_str(), "%d:%d:%d", &id, &attribute, &finger) != 3) {
      std::fprintf(stderr, "movar-terminal: --fingerprint wants ID:ATTRIBUTE:FINGER, not %s\n", key.c_str());
      return 2;
    }
    unit.store(id, attribute, finger, makeTemplate(id, attribute, finger));
  }
  BackupDevice::Script backup;
  for (std::size_t k = 0; k < o.backupBytes; ++k) backup.data.push_back(static_cast<std::uint8_t>(k * 13 + 5));
  terminal.part<BackupDevice>().script(backup);
  if (!o.namesFile.empty() && !loadNames(terminal, o.namesFile)) {
    std::fprintf(stderr, "movar-terminal: can not read %s\n", o.namesFile.c_str());
    return 2;
  }
  Terminal dialled(config);  // the same terminal's twin, behind a modem
  installStandardCommands(dialled);
  installModem(dialled);
  dialled.part<RecordMemory>().fill(o.records);

  std::unique_ptr<PtyPort> port, modemPort;
  std::unique_ptr<PtyLink> link;
  std::vector<std::unique_ptr<Terminal>> fleet;  // --count: the terminals after the first
  std::vector<std::unique_ptr<TcpListener>> listeners;  // destroyed first: they serve the fleet
  try {
    if (o.pty || !o.ptyLink.empty() || o.tcp.empty()) {
      port = std::make_unique<PtyPort>(terminal);
      std::printf("pty %s\n", port->path().c_str());
      if (!o.ptyLink.empty()) link = std::make_unique<PtyLink>(o.ptyLink, port->path());
    }
    if (o.modemPty) {
      modemPort = std::make_unique<PtyPort>(dialled);
      std::printf("modem-pty %s\n", modemPort->path().c_str());
    }
    for (const std::string& ip : o.tcp) {
      listeners.push_back(ip == "auto" ? std::make_unique<TcpListener>(terminal, sayRefused)
                                       : std::make_unique<TcpListener>(terminal, ip, 1024, sayRefused));
      std::printf("tcp %s:1024\n", listeners.back()->ip().c_str());
    }
    if (o.count > 1) raiseDescriptorLimit();
    for (int k = 1; k < o.count; ++k) {
      const std::string ip = loopbackAfter(o.tcp.front(), static_cast<std::uint32_t>(k));
      if (ip.empty()) throw std::runtime_error("--count runs past the loopback range");
      fleet.push_back(std::make_unique<Terminal>(config));
      installStandardCommands(*fleet.back());
      fleet.back()->part<RecordMemory>().load(fleetRecords(static_cast<std::uint32_t>(k), o.records));
      listeners.push_back(std::make_unique<TcpListener>(*fleet.back(), ip, 1024, sayRefused));
      std::printf("tcp %s:1024\n", ip.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "movar-terminal: %s\n", e.what());
    return finish(listeners, 1);
  }
  std::fflush(stdout);

  std::vector<Terminal*> punched{&terminal};
  for (const auto& t : fleet) punched.push_back(t.get());
  std::vector<Bytes> people;
  for (Terminal* t : punched) people.push_back(t->part<RecordMemory>().contents());
  const std::optional<std::chrono::nanoseconds> punchEvery =
      o.punches.empty() ? std::nullopt : punchInterval(o.punches);
  auto nextPunch = std::chrono::steady_clock::now() + punchEvery.value_or(std::chrono::nanoseconds{0});
  std::uint64_t punches = 0;

  std::size_t chunksLogged = 0, commandsLogged = 0, dials = 0;
  const bool logging = o.log || o.logBytes;
  while (!stopRequested) {
    pollfd in{0, POLLIN, 0};
    std::optional<std::chrono::nanoseconds> wait;
    if (logging) wait = std::chrono::milliseconds(100);
    if (punchEvery) {
      const auto untilPunch = std::max(nextPunch - std::chrono::steady_clock::now(), std::chrono::nanoseconds{0});
      if (!wait || untilPunch < *wait) wait = untilPunch;
    }
    timespec waitFor{};
    if (wait) waitFor = {static_cast<time_t>(wait->count() / 1'000'000'000), static_cast<long>(wait->count() % 1'000'000'000)};
    if (::ppoll(&in, 1, wait ? &waitFor : nullptr, &waitMask) > 0) {
      char c;
      if (::read(0, &c, 1) <= 0) break;
    }
    if (punchEvery && std::chrono::steady_clock::now() >= nextPunch) {
      const std::time_t now = std::time(nullptr);
      std::tm local{};
      ::localtime_r(&now, &local);
      for (std::size_t k = 0; k < punched.size(); ++k) {
        punch(punched[k]->part<RecordMemory>(), people[k], punches, local);
      }
      ++punches;
      nextPunch += *punchEvery;
    }
    if (!logging) continue;
    const auto chunks = terminal.received();
    const double at = chunks.empty() ? 0 : chunks.back().atSeconds;
    if (o.logBytes) {
      for (; chunksLogged < chunks.size(); ++chunksLogged) {
        std::printf("%10.3f %6d", chunks[chunksLogged].atSeconds, chunks[chunksLogged].baud);
        for (std::uint8_t b : chunks[chunksLogged].bytes) std::printf(" %02X", b);
        std::printf("\n");
      }
    }
    if (o.log) {
      const auto commands = terminal.commands();
      for (; commandsLogged < commands.size(); ++commandsLogged) {
        const auto name = kCommands.find(commands[commandsLogged]);
        std::printf("%10.3f command %02X %s\n", at, commands[commandsLogged],
                    name == kCommands.end() ? "(unknown)" : name->second);
      }
    }
    if (o.log || o.logBytes) {
      const auto numbers = dialled.part<Modem>().dialled();
      for (; dials < numbers.size(); ++dials) std::printf("dialled %s\n", numbers[dials].c_str());
    }
    std::fflush(stdout);
  }
  return finish(listeners, 0);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"movar-terminal: a simulated attendance terminal on a pty and on 127.0.0.x:1024"};
  app.footer(std::string(kRateChange) + "\nA line quiet both ways for " +
             std::to_string(kLineSilenceReset.count()) +
             " ms ends whatever exchange was running (a modem goes on hook): the terminal waits for "
             "a preamble again.");
  Options o;
  app.add_option("--address", o.address, "machine address")->capture_default_str();
  app.add_flag("--pty", o.pty, "serve on a new pty (the default without --tcp)");
  app.add_option("--pty-link", o.ptyLink, "also a symbolic link to the pty at this path");
  app.add_option("--tcp", o.tcp, "listen on IP:1024; \"auto\": the first free 127.0.0.x");
  app.add_option("--speed", o.speeds, "serial speeds it understands (default 57600)");
  app.add_option("--ack", o.ack, "answer to a preamble, hex, or \"none\"")->capture_default_str();
  app.add_option("--ack-delay", o.ackDelay, "milliseconds before the answer");
  app.add_flag("--pace", o.pace, "serial output at the real line rate");
  app.add_option("--records", o.records, "records in its memory for downloads");
  app.add_option("--count", o.count,
                 "terminals in all, with --tcp IP: the others on the next loopback addresses, "
                 "each with records of its own stamped with machine number k % 32")
      ->check(CLI::Range(1, 65536));
  app.add_option("--punches", o.punches,
                 "people punch in at RATE (N/s, N/min or N/h) on each terminal: a new record each "
                 "time, of a person it started with, at the current time, for the next download")
      ->check([](const std::string& rate) {
        return punchInterval(rate) ? std::string() : "--punches wants N/s, N/min or N/h (N from 1 to 1000), not " + rate;
      });
  app.add_option("--live", o.live, "6-byte records (hex) queued for real-time polls");
  app.add_option("--names", o.namesFile, "names to hold: PERSON NAME per line");
  app.add_option("--templates", o.templates, "fingerprint templates in its unit, made up");
  app.add_option("--fingerprint", o.fingerprints, "a template ID:ATTRIBUTE:FINGER in its unit");
  app.add_option("--backup", o.backupBytes, "bytes of backup data at 19200 baud, 2 stop bits");
  app.add_flag("--modem-pty", o.modemPty, "the same terminal behind a modem at 9600 on a pty of its own");
  app.add_flag("--log", o.log, "one line per command and per number dialled");
  app.add_flag("--log-bytes", o.logBytes, "every chunk received, in hex, with its time and speed");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  for (const std::string& hex : o.live) {
    if (hex.size() != 12) {
      std::fprintf(stderr, "movar-terminal: --live wants 6 bytes in hex, not %s\n", hex.c_str());
      return 2;
    }
  }
  if (o.count > 1 && (o.tcp.size() != 1 || o.tcp.front() == "auto")) {
    std::fprintf(stderr, "movar-terminal: --count wants one --tcp with the first address\n");
    return 2;
  }
  // Started without a stdin, its descriptor would go to the first socket opened; a closed stdin
  // ends the simulator, so the same goes for none.
  if (::fcntl(0, F_GETFD) < 0) ::open("/dev/null", O_RDONLY);
  std::signal(SIGINT, [](int) { stopRequested = 1; });
  std::signal(SIGTERM, [](int) { stopRequested = 1; });
  sigset_t stops, waitMask;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &stops, &waitMask);
  return serve(o, waitMask);
}
