// The demo: a simulated terminal on a pty mapped as COM2 and on a free 127.0.0.x:1024, driven
// through the library's exports as a host application would: find it, download its records, poll
// one live record.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "exports/movar.h"
#include "live_records.h"
#include "pty_port.h"
#include "record_memory.h"
#include "standard_terminal.h"
#include "tcp_listener.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string recordDirectory() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  const std::string exe(path, n > 0 ? static_cast<std::size_t>(n) : 0);
  return exe.substr(0, exe.rfind('/') + 1);
}

}  // namespace

int main() {
  movar::sim::TerminalConfig config;
  config.address = 7;
  config.speeds = {19200};
  movar::sim::Terminal terminal(config);
  movar::sim::installStandardCommands(terminal);
  terminal.part<movar::sim::RecordMemory>().fill(60);
  terminal.part<movar::sim::LiveRecords>().push({0x00, 0x7B, 0x93, 0x0E, 0x28, 0xC5});
  movar::sim::PtyPort port2(terminal);
  movar::sim::TcpListener network(terminal);
  const char* ip = network.ip().c_str();
  movar::sim::Terminal nobody(movar::sim::TerminalConfig{.address = 99});
  movar::sim::PtyPort port1(nobody);

  ::setenv("MOVAR_COM1", port1.path().c_str(), 1);
  ::setenv("MOVAR_COM2", port2.path().c_str(), 1);
  for (int n = 3; n <= 9; ++n) {
    const std::string name = "MOVAR_COM" + std::to_string(n);
    ::setenv(name.c_str(), "/nonexistent/movar-demo-port", 1);
  }
  std::printf("terminal 7 at 19200 baud on COM2 (%s) and on %s:1024, holding 60 records;\n"
              "COM1 (%s) has another terminal\n\n",
              port2.path().c_str(), ip, port1.path().c_str());

  auto start = std::chrono::steady_clock::now();
  const int found = _TESTCOM(7, 1);
  if (found < 0) {
    std::printf("_TESTCOM(7, 1) = %d: terminal not found (%.2f s)\n", found, secondsSince(start));
    return 1;
  }
  std::printf("_TESTCOM(7, 1) = %d: terminal found on COM%d (%.2f s)\n", found, found,
              secondsSince(start));

  start = std::chrono::steady_clock::now();
  const int downloaded = _DOWNLOAD(7, found);
  std::printf("_DOWNLOAD(7, %d) = %d (%.2f s, mandated pauses included); terminal now holds %u "
              "records\n",
              found, downloaded, secondsSince(start),
              static_cast<unsigned>(terminal.part<movar::sim::RecordMemory>().count()));
  std::ifstream text(recordDirectory() + "movar.txt");
  std::string line;
  int lines = 0;
  while (std::getline(text, line)) {
    if (lines++ < 3) std::printf("  movar.txt: %s\n", line.c_str());
  }
  std::printf("  movar.txt: %d lines in all; backups in %sdownbak/\n", lines,
              recordDirectory().c_str());

  std::printf("_LANREALDOWNLOAD(\"%s\") = \"%s\"\n", ip, _LANREALDOWNLOAD(ip));
  std::printf("_LANREALDOWNLOAD(\"%s\") = \"%s\" (nothing more waiting)\n", ip, _LANREALDOWNLOAD(ip));
  return downloaded == 0 ? 0 : 1;
}
