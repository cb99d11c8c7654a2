#include "store/facts.h"

#include <cstdio>

#include "store/calendar.h"
#include "records/attendance_record.h"

namespace movar::store {

namespace {

bool possible(const records::AttendanceRecord& r) {
  return isRealDate(2000 + r.year, r.month, r.day) && isRealTime(r.hour, r.minute);
}

}  // namespace

FileFacts factsOf(const std::vector<std::uint8_t>& bytes, const std::string& terminal,
                  std::optional<int> fixedMachine) {
  FileFacts out;
  addFacts(bytes.data(), bytes.size() / records::kAttendanceRecordSize, terminal, fixedMachine, out);
  out.strayBytes = bytes.size() % records::kAttendanceRecordSize;
  return out;
}

void addFacts(const std::uint8_t* bytes, std::size_t count, const std::string& terminal,
              std::optional<int> fixedMachine, FileFacts& out) {
  out.facts.reserve(out.facts.size() + count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto r = records::AttendanceRecord::decode(bytes + i * records::kAttendanceRecordSize);
    if (!possible(r)) {
      ++out.impossible;
      continue;
    }
    const std::string when = minuteText(2000 + r.year, r.month, r.day, r.hour, r.minute);
    const int machine = fixedMachine ? *fixedMachine : static_cast<int>(r.machine({}));
    out.facts.push_back({terminal, r.person, when, machine});
  }
}

}  // namespace movar::store
