#include "report.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>

#include "link/failure.h"
#include "store/calendar.h"

namespace movar::cli {

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

bool decodeLiveRecord(const std::string& d, LiveFields& f) {
  if (d.size() < 20 || d.find_first_not_of("0123456789") != std::string::npos) return false;
  if (d.find_first_not_of('0') == std::string::npos) return false;
  const auto field = [&d](std::size_t at, std::size_t n) { return std::stol(d.substr(at, n)); };
  f = {field(0, 6), field(6, 4), field(10, 2), field(12, 2), field(14, 2), field(16, 2),
       field(18, d.size() - 18)};
  return true;
}

bool printLiveRecord(const std::string& digits, const LiveFields& f, bool json) {
  const std::string when = store::minuteText(f.year, f.month, f.day, f.hour, f.minute);
  if (json) {
    printJson({{"record", digits}, {"person", f.person}, {"time", when}, {"machine", f.machine}});
  } else {
    std::printf("person %ld at %s on machine %ld (%s)\n", f.person, when.c_str(), f.machine, digits.c_str());
  }
  return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

bool standardOutputClosed() {
  pollfd out{STDOUT_FILENO, POLLOUT, 0};
  return ::poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

}  // namespace movar::cli
