#include "records/attendance_record.h"

#include "records/decimal.h"

namespace movar::records {

AttendanceRecord AttendanceRecord::decode(const std::uint8_t* b) {
  AttendanceRecord r;
  r.person = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
  r.year = static_cast<std::uint8_t>(b[2] >> 4);
  r.month = static_cast<std::uint8_t>(b[2] & 0x0F);
  r.page60 = (b[3] & 0x80) != 0;
  r.page30 = (b[3] & 0x40) != 0;
  r.day = static_cast<std::uint8_t>(b[3] & 0x3F);
  r.hour = static_cast<std::uint8_t>(b[4] & 0x1F);
  r.minute = static_cast<std::uint8_t>(b[5] & 0x3F);
  r.machineLow = static_cast<std::uint8_t>((b[4] >> 5) * 4 + (b[5] >> 6));
  return r;
}

unsigned AttendanceRecord::machine(const MachineSource& source) const {
  switch (source.rule) {
    case MachineRule::Fixed:
      return source.fixed;
    case MachineRule::Adding:
      return machineLow + (page60 ? 60u : 0u) + (page30 ? 30u : 0u);
    case MachineRule::SixtyFirst:
      break;
  }
  if (page60) return machineLow + 60u;
  if (page30) return machineLow + 30u;
  return machineLow;
}

std::size_t writeAttendanceLine(const AttendanceRecord& r, unsigned machine, char* out) {
  char* p = out;
  p += writeDecimal(p, r.person, 6);
  p += writeDecimal(p, r.hour, 2);
  *p++ = ':';
  p += writeDecimal(p, r.minute, 2);
  p += writeDecimal(p, 2000u + r.year, 4);
  p += writeDecimal(p, r.month, 2);
  p += writeDecimal(p, r.day, 2);
  writeDecimal(p, machine, 2);
  out[kAttendanceTextSize] = '\r';
  out[kAttendanceTextSize + 1] = '\n';
  return kAttendanceLineSize;
}

}  // namespace movar::records
