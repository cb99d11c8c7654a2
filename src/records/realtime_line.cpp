#include "records/realtime_line.h"

#include "records/attendance_record.h"
#include "records/decimal.h"

namespace movar::records {

void formatRealtimeLine(const std::uint8_t* bytes, char* out, std::size_t capacity) {
  const AttendanceRecord r = AttendanceRecord::decode(bytes);
  const struct {
    std::uint32_t value;
    std::size_t width;
  } fields[] = {{r.person, 6}, {2000u + r.year, 4}, {r.month, 2}, {r.day, 2},
                {r.hour, 2},   {r.minute, 2},      {r.machine({MachineRule::Adding}), 2}};
  char text[40];
  std::size_t n = 0;
  for (const auto& field : fields) n += writeDecimal(text + n, field.value, field.width);
  if (capacity == 0) return;
  if (n >= capacity) n = capacity - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
}

}  // namespace movar::records
