#include "report.h"

#include <cstdio>

namespace movar::cli {

std::string Target::text() const {
  switch (kind) {
    case Kind::Serial: return "COM" + std::to_string(port) + " address " + std::to_string(address);
    case Kind::Tcp: return ip;
    case Kind::None: break;
  }
  return "";
}

void printJson(const Json& object) {
  std::printf("%s\n", object.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
}

std::string csvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string explainFailure(Platform& platform, const Target& target) {
  if (target.kind == Target::Kind::Tcp) {
    const std::string where = target.ip + ":1024";
    Connection probe = platform.network.connect(target.ip.c_str(), 1024);
    switch (probe.error) {
      case ConnectError::None: return "the terminal at " + where + " did not take the command";
      case ConnectError::Connect: return "connection to " + where + " refused or not answered";
      default: return "no connection to " + where + " could be set up";
    }
  }
  if (target.kind == Target::Kind::Serial) {
    bool anyOpened = false;
    for (int port = 1; port <= 4 && !anyOpened; ++port) {
      anyOpened = platform.serial.open(port, {}) != nullptr;
    }
    if (!anyOpened) return "none of COM1-COM4 could be opened";
    return "no terminal at address " + std::to_string(target.address) +
           " answered on COM1-COM4 at 57600/19200 baud, or it refused the command";
  }
  return "the library reported failure";
}

bool decodeLiveRecord(const std::string& d, LiveFields& f) {
  if (d.size() < 20 || d.find_first_not_of("0123456789") != std::string::npos) return false;
  if (d.find_first_not_of('0') == std::string::npos) return false;
  const auto field = [&d](std::size_t at, std::size_t n) { return std::stol(d.substr(at, n)); };
  f = {field(0, 6), field(6, 4), field(10, 2), field(12, 2), field(14, 2), field(16, 2),
       field(18, d.size() - 18)};
  return true;
}

void printLiveRecord(const std::string& digits, const LiveFields& f, bool json) {
  char when[32];
  std::snprintf(when, sizeof when, "%04ld-%02ld-%02ld %02ld:%02ld", f.year, f.month, f.day, f.hour,
                f.minute);
  if (json) {
    printJson({{"record", digits}, {"person", f.person}, {"time", when}, {"machine", f.machine}});
  } else {
    std::printf("person %ld at %s on machine %ld (%s)\n", f.person, when, f.machine, digits.c_str());
  }
  std::fflush(stdout);
}

}  // namespace movar::cli
