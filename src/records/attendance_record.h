// The terminal's 6-byte attendance record and its 21-character text line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "records/decimal.h"

namespace movar::records {

constexpr std::size_t kAttendanceRecordSize = 6;
constexpr std::size_t kAttendanceTextSize = 21;
constexpr std::size_t kAttendanceLineSize = kAttendanceTextSize + 2;  // with CR LF

// How the two page flags of byte 3 combine with the 5-bit low part of the machine number.
enum class MachineRule {
  SixtyFirst,  // flag 60 wins over flag 30: both set gives L + 60
  Adding,      // both set gives L + 90
  Fixed,       // the caller's number; the record's bits are ignored
};

struct MachineSource {
  MachineRule rule = MachineRule::SixtyFirst;
  std::uint8_t fixed = 0;  // for MachineRule::Fixed
};

struct AttendanceRecord {
  std::uint16_t person = 0;
  std::uint8_t year = 0;  // minus 2000, 4 bits
  std::uint8_t month = 0, day = 0, hour = 0, minute = 0;
  std::uint8_t machineLow = 0;  // 0..31
  bool page60 = false, page30 = false;

  static AttendanceRecord decode(const std::uint8_t* bytes);
  unsigned machine(const MachineSource& source) const;
};

// Writes the line for `record` with its CR LF at `out` (room for 32 bytes); returns 23. A machine
// number of 100 or more makes a 22-character text of which the first 21 are kept.
std::size_t writeAttendanceLine(const AttendanceRecord& record, unsigned machine, char* out);

// Inline: these run once per record of files with millions of them.

inline AttendanceRecord AttendanceRecord::decode(const std::uint8_t* b) {
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

inline unsigned AttendanceRecord::machine(const MachineSource& source) const {
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

// Every field's range is bounded by its bits, so the widths are fixed and the general decimal
// writer is not needed on this hot path: person <= 65535 (6), hour <= 31, minute <= 63,
// month <= 15, day <= 63 (2), year 2000..2015 (4). Only the machine number can reach three
// digits, of which the 21-character line keeps the first two.
inline std::size_t writeAttendanceLine(const AttendanceRecord& r, unsigned machine, char* out) {
  const unsigned person = r.person;
  out[0] = '0';
  out[1] = static_cast<char>('0' + person / 10000);
  writePair(out + 2, person / 100 % 100);
  writePair(out + 4, person % 100);
  writePair(out + 6, r.hour);
  out[8] = ':';
  writePair(out + 9, r.minute);
  out[11] = '2';
  out[12] = '0';
  writePair(out + 13, r.year);
  writePair(out + 15, r.month);
  writePair(out + 17, r.day);
  writePair(out + 19, machine < 100 ? machine : machine / 10 % 100);
  out[kAttendanceTextSize] = '\r';
  out[kAttendanceTextSize + 1] = '\n';
  return kAttendanceLineSize;
}

}  // namespace movar::records
