#include "records/realtime_line.h"

#include <cstdio>

namespace movar::records {

void formatRealtimeLine(const std::uint8_t* r, char* out, std::size_t capacity) {
  const unsigned person = r[0] * 256u + r[1];
  const unsigned year = 2000u + (r[2] >> 4);
  const unsigned month = r[2] & 0x0Fu;
  const unsigned day = r[3] & 0x3Fu;
  const unsigned hour = r[4] & 0x1Fu;
  const unsigned minute = r[5] & 0x3Fu;
  unsigned machine = (r[4] >> 5) * 4u + (r[5] >> 6);
  if (r[3] & 0x80) machine += 60;
  if (r[3] & 0x40) machine += 30;
  std::snprintf(out, capacity, "%06u%04u%02u%02u%02u%02u%02u", person, year, month, day, hour,
                minute, machine);
}

}  // namespace movar::records
