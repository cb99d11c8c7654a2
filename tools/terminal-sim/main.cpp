// movar-terminal: a simulated terminal on a pty and/or 127.0.0.x:1024, until stdin closes or a
// signal ends it. Prints "pty <path>" and "tcp <ip>:1024" once it is listening; "--tcp auto"
// takes the first free loopback address. "--modem-pty" adds a second terminal like the first, behind
// a Hayes modem on a pty of its own ("modem-pty <path>"); "--log" then prints "dialled <number>".
#include <poll.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fingerprint_unit.h"
#include "live_records.h"
#include "modem.h"
#include "pty_port.h"
#include "record_memory.h"
#include "standard_terminal.h"
#include "tcp_listener.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void usage() {
  std::fprintf(stderr,
               "usage: movar-terminal [--address N] [--pty] [--tcp IP|auto] [--speed BAUD]...\n"
               "                      [--ack HEX|none] [--ack-delay MS] [--pace] [--records N] [--log]\n"
               "                      [--live RECORD-HEX]... (6-byte records queued for polling)\n"
               "                      [--fingerprint ID:ATTRIBUTE:FINGER]... (templates in its unit)\n"
               "                      [--modem-pty] (the same terminal behind a modem at 9600 baud)\n"
               "A rate-change message (20 x 63, 20 x 6A, 12 message bytes, a code) is acknowledged\n"
               "and moves the terminal to the speed its last byte names: 1 1200, 2 2400, 3 4800,\n"
               "4 9600, 5 19200, 6 38400, 0 and 7 57600 (other codes keep the speed).\n");
}

}  // namespace

int main(int argc, char** argv) {
  movar::sim::TerminalConfig config;
  bool pty = false;
  bool log = false;
  bool modemPty = false;
  std::uint32_t records = 0;
  std::vector<std::string> tcp;
  std::vector<int> speeds;
  std::vector<movar::sim::Bytes> liveRecords;
  std::vector<std::array<int, 3>> fingerprints;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--address") config.address = static_cast<std::uint8_t>(std::stoi(value(), nullptr, 0));
    else if (arg == "--pty") pty = true;
    else if (arg == "--tcp") tcp.push_back(value());
    else if (arg == "--speed") speeds.push_back(std::stoi(value()));
    else if (arg == "--ack") {
      const std::string v = value();
      if (v == "none") config.ack.reset();
      else config.ack = static_cast<std::uint8_t>(std::stoi(v, nullptr, 16));
    } else if (arg == "--ack-delay") config.ackDelay = movar::sim::Millis(std::stoi(value()));
    else if (arg == "--pace") config.paceOutput = true;
    else if (arg == "--live") {
      const std::string hex = value();
      movar::sim::Bytes record;
      for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
        record.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
      }
      if (record.size() != 6) {
        usage();
        return 2;
      }
      liveRecords.push_back(record);
    }
    else if (arg == "--fingerprint") {
      std::array<int, 3> key{};
      if (std::sscanf(value().c_str(), "%d:%d:%d", &key[0], &key[1], &key[2]) != 3) {
        usage();
        return 2;
      }
      fingerprints.push_back(key);
    }
    else if (arg == "--records") records = static_cast<std::uint32_t>(std::stoul(value()));
    else if (arg == "--log") log = true;
    else if (arg == "--modem-pty") modemPty = true;
    else {
      usage();
      return 2;
    }
  }
  if (!speeds.empty()) config.speeds = {speeds.begin(), speeds.end()};
  if (!pty && tcp.empty()) pty = true;

  std::signal(SIGINT, [](int) { gStop = 1; });
  std::signal(SIGTERM, [](int) { gStop = 1; });

  movar::sim::Terminal terminal(config);
  movar::sim::installStandardCommands(terminal);
  for (const auto& record : liveRecords) terminal.part<movar::sim::LiveRecords>().push(record);
  terminal.part<movar::sim::RecordMemory>().fill(records);
  for (const auto& [id, attribute, finger] : fingerprints) {
    terminal.part<movar::sim::FingerprintUnit>().store(id, attribute, finger,
                                                       movar::sim::makeTemplate(id, attribute, finger));
  }
  movar::sim::Terminal dialled(config);
  movar::sim::installStandardCommands(dialled);
  movar::sim::installModem(dialled);
  dialled.part<movar::sim::RecordMemory>().fill(records);
  std::unique_ptr<movar::sim::PtyPort> port;
  std::unique_ptr<movar::sim::PtyPort> modemPort;
  std::vector<std::unique_ptr<movar::sim::TcpListener>> listeners;
  try {
    if (pty) {
      port = std::make_unique<movar::sim::PtyPort>(terminal);
      std::printf("pty %s\n", port->path().c_str());
    }
    if (modemPty) {
      modemPort = std::make_unique<movar::sim::PtyPort>(dialled);
      std::printf("modem-pty %s\n", modemPort->path().c_str());
    }
    for (const std::string& ip : tcp) {
      listeners.push_back(ip == "auto" ? std::make_unique<movar::sim::TcpListener>(terminal)
                                       : std::make_unique<movar::sim::TcpListener>(terminal, ip));
      std::printf("tcp %s:1024\n", listeners.back()->ip().c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "movar-terminal: %s\n", e.what());
    return 1;
  }
  std::fflush(stdout);

  std::size_t logged = 0;
  std::size_t dials = 0;
  while (!gStop) {
    pollfd in{0, POLLIN, 0};
    if (::poll(&in, 1, 100) > 0) {
      char c;
      if (::read(0, &c, 1) <= 0) break;
    }
    if (log) {
      const auto chunks = terminal.received();
      for (; logged < chunks.size(); ++logged) {
        std::printf("%10.3f %6d", chunks[logged].atSeconds, chunks[logged].baud);
        for (std::uint8_t b : chunks[logged].bytes) std::printf(" %02X", b);
        std::printf("\n");
      }
      const auto numbers = dialled.part<movar::sim::Modem>().dialled();
      for (; dials < numbers.size(); ++dials) std::printf("dialled %s\n", numbers[dials].c_str());
      std::fflush(stdout);
    }
  }
  return 0;
}
