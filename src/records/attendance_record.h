// The terminal's 6-byte attendance record and its 21-character text line.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace movar::records
