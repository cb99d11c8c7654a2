#include "live_record.h"

#include <cstdio>

#include "report.h"
#include "store/calendar.h"

namespace movar::cli {

std::optional<LiveRecord> decodeLiveRecord(const std::string& d) {
  if (d.size() < 20 || d.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  if (d.find_first_not_of('0') == std::string::npos) return std::nullopt;
  const auto field = [&d](std::size_t at, std::size_t n) { return std::stol(d.substr(at, n)); };
  return LiveRecord{d, field(0, 6), store::minuteText(field(6, 4), field(10, 2), field(12, 2), field(14, 2), field(16, 2)),
                    field(18, d.size() - 18)};
}

bool printLiveRecord(const LiveRecord& r, bool json) {
  if (json) {
    printJson({{"record", r.digits}, {"person", r.person}, {"time", r.time}, {"machine", r.machine}});
  } else {
    std::printf("person %ld at %s on machine %ld (%s)\n", r.person, r.time.c_str(), r.machine, r.digits.c_str());
  }
  return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace movar::cli
