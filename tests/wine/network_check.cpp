#include "network_check.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/win32_platform.h"

namespace {

int check(bool ok, const char* what, const std::string& detail) {
  std::printf("%s network %s: %s\n", ok ? "ok  " : "FAIL", what, detail.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

const char* errorName(movar::ConnectError e) {
  switch (e) {
    case movar::ConnectError::None: return "none";
    case movar::ConnectError::LibraryStart: return "library start";
    case movar::ConnectError::Socket: return "socket";
    case movar::ConnectError::Connect: return "connect";
  }
  return "?";
}

}  // namespace

// The wsock32 layer on its own, until a TCP export exercises it: the preamble of command 0x00
// acknowledged, a silent peer bounded by the receive limit, and the connect failures.
extern "C" int movar_check_network(const char* ip) {
  movar::win32::Win32Network network;
  movar::win32::Win32Clock clock;
  int failed = 0;

  movar::Connection c = network.connect(ip, 1024);
  failed += check(c.stream != nullptr, "connect", std::string(ip) + ":1024, error " + errorName(c.error));
  if (c.stream) {
    const std::uint8_t preamble[14] = {'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S', 0xFA, 0x05, 0x00, 0xFF};
    const long sent = c.stream->send(preamble, sizeof preamble);
    std::uint8_t answer[16] = {};
    const movar::Received got = c.stream->receive(answer, sizeof answer, 2000);
    failed += check(sent == 14 && got.status == movar::ReceiveStatus::Ok && got.count == 1 && answer[0] == 0x06,
                    "acknowledged", "sent " + std::to_string(sent) + ", received " + std::to_string(got.count));
    const movar::Millis start = clock.now();
    const movar::Received silent = c.stream->receive(answer, sizeof answer, 300);
    const movar::Millis waited = clock.now() - start;
    failed += check(silent.status == movar::ReceiveStatus::Timeout && waited >= 290 && waited < 1500,
                    "silent peer", "timed out after " + std::to_string(waited) + " ms (limit 300)");
  }
  const movar::Connection bad = network.connect("not an address", 1024);
  failed += check(bad.error == movar::ConnectError::Connect, "bad address", errorName(bad.error));
  const movar::Connection nobody = network.connect("127.0.0.9", 1024);
  failed += check(nobody.error == movar::ConnectError::Connect, "nobody listening", errorName(nobody.error));
  return failed;
}
