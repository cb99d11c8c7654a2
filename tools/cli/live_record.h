// A live record as the library gives it: twenty or more digits, person (6), year (4), month,
// day, hour, minute (2 each) and the machine number; twenty zeros are no record.
#pragma once

#include <optional>
#include <string>

namespace movar::cli {

struct LiveRecord {
  std::string digits;
  long person = 0;
  std::string time;  // "YYYY-MM-DD HH:MM", as the store writes a minute
  long machine = 0;
};

// Nothing for twenty zeros or a malformed text.
std::optional<LiveRecord> decodeLiveRecord(const std::string& digits);

// A line (or JSON object); false when standard output took no more (its reader went away).
bool printLiveRecord(const LiveRecord& record, bool json);

}  // namespace movar::cli
