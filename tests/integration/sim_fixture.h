// Simulated terminals on ptys mapped as COM ports, for tests that drive the real library.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "loopback_listen.h"
#include "modem.h"
#include "pty_port.h"
#include "standard_terminal.h"
#include "tcp_listener.h"
#include "terminal.h"

namespace movar::itest {

inline std::string asText(const sim::Bytes& b) { return std::string(b.begin(), b.end()); }

// Every COM port starts mapped to a path that does not exist, so nothing outside the test
// (a real /dev/ttyS0) can answer.
inline void unmapAllPorts() {
  for (int n = 1; n <= 9; ++n) {
    ::setenv(("MOVAR_COM" + std::to_string(n)).c_str(), "/nonexistent/movar-test-port", 1);
  }
}

struct SimPort {
  std::unique_ptr<sim::Terminal> terminal;
  std::unique_ptr<sim::PtyPort> pty;

  static SimPort on(int com, sim::TerminalConfig config, bool behindModem = false) {
    SimPort port;
    port.terminal = std::make_unique<sim::Terminal>(std::move(config));
    sim::installStandardCommands(*port.terminal);
    if (behindModem) sim::installModem(*port.terminal);
    port.pty = std::make_unique<sim::PtyPort>(*port.terminal);
    ::setenv(("MOVAR_COM" + std::to_string(com)).c_str(), port.pty->path().c_str(), 1);
    return port;
  }
  // A line with a device that never answers.
  static SimPort silent(int com) {
    sim::TerminalConfig config;
    config.ack.reset();
    return on(com, config);
  }
};

// Loopback addresses come from taking them: ctest runs every test case as a process of its own,
// side by side, so an address is a test's own only while it holds a socket there.

// A terminal that knows the standard commands, listening on a free 127.0.0.x:1024.
struct SimNet {
  sim::Terminal terminal;
  std::unique_ptr<sim::TcpListener> listener;

  explicit SimNet(sim::TerminalConfig config = {}) : terminal(std::move(config)) {
    sim::installStandardCommands(terminal);  // before the first connection can come in
    listener = std::make_unique<sim::TcpListener>(terminal);
  }
  const std::string& ip() const { return listener->ip(); }
};

// A loopback address where connections to port 1024 are refused while this lives.
struct NobodyThere {
  sim::LoopbackSocket held = sim::reserveRefusingLoopback();
  const std::string& ip() const { return held.ip; }
};

}  // namespace movar::itest
