#include "report.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>

#include "link/failure.h"

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

bool standardOutputClosed() {
  pollfd out{STDOUT_FILENO, POLLOUT, 0};
  return ::poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

}  // namespace movar::cli
