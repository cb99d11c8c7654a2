#include "punches.h"

#include <cstdio>

namespace movar::sim {

std::optional<std::chrono::nanoseconds> punchInterval(const std::string& rate) {
  unsigned count = 0;
  char unit[4] = {};
  int used = 0;
  if (std::sscanf(rate.c_str(), "%u/%3[a-z]%n", &count, unit, &used) != 2 ||
      static_cast<std::size_t>(used) != rate.size() || count == 0 || count > 1000) {
    return std::nullopt;
  }
  const std::string u = unit;
  const std::chrono::nanoseconds per = u == "s" ? std::chrono::seconds(1)
                                       : u == "min" ? std::chrono::minutes(1)
                                       : u == "h"   ? std::chrono::hours(1)
                                                    : std::chrono::nanoseconds(0);
  if (per.count() == 0) return std::nullopt;
  return per / count;
}

void punch(RecordMemory& memory, const Bytes& people, std::uint64_t n, const std::tm& at) {
  const std::size_t records = people.size() / 6;
  Bytes record = records > 0 ? Bytes(people.begin() + static_cast<std::ptrdiff_t>(n % records * 6),
                                     people.begin() + static_cast<std::ptrdiff_t>(n % records * 6 + 6))
                             : RecordMemory::record(static_cast<std::uint32_t>(n % 60000 + 1));
  // The machine number's bits stay where a record keeps them, beside the hour and the minute.
  record[2] = static_cast<std::uint8_t>((record[2] & 0xF0) | (at.tm_mon + 1));
  record[3] = static_cast<std::uint8_t>(at.tm_mday);
  record[4] = static_cast<std::uint8_t>((record[4] & 0xE0) | at.tm_hour);
  record[5] = static_cast<std::uint8_t>((record[5] & 0xC0) | at.tm_min);
  memory.append(record);
}

}  // namespace movar::sim
