// The demo: a simulated terminal on a pty mapped as COM2, found through the library's
// port search as a host application would find it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "exports/movar.h"
#include "pty_port.h"
#include "standard_terminal.h"

int main() {
  movar::sim::TerminalConfig config;
  config.address = 7;
  config.speeds = {19200};
  movar::sim::Terminal terminal(config);
  movar::sim::installStandardCommands(terminal);
  movar::sim::PtyPort port2(terminal);
  movar::sim::Terminal nobody(movar::sim::TerminalConfig{.address = 99});
  movar::sim::PtyPort port1(nobody);

  ::setenv("MOVAR_COM1", port1.path().c_str(), 1);
  ::setenv("MOVAR_COM2", port2.path().c_str(), 1);
  for (int n = 3; n <= 9; ++n) {
    const std::string name = "MOVAR_COM" + std::to_string(n);
    ::setenv(name.c_str(), "/nonexistent/movar-demo-port", 1);
  }
  std::printf("terminal 7 at 19200 baud on COM2 (%s); COM1 (%s) has another terminal\n",
              port2.path().c_str(), port1.path().c_str());

  const auto start = std::chrono::steady_clock::now();
  const int found = _TESTCOM(7, 1);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (found < 0) {
    std::printf("_TESTCOM(7, 1) = %d: terminal not found (%.2f s)\n", found, seconds);
    return 1;
  }
  std::printf("_TESTCOM(7, 1) = %d: terminal found on COM%d (%.2f s)\n", found, found, seconds);
  return 0;
}
