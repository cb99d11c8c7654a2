// The day's name list NAM<MMDD>.dat: 10-byte name records appended one by one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace movar::records {

constexpr std::size_t kNameRecordSize = 10;
using NameRecord = std::array<std::uint8_t, kNameRecordSize>;

// Person number high byte first, then the name up to its first zero byte, at most 8 bytes,
// unchanged; the rest 0xFF, no terminating zero.
NameRecord nameRecord(std::uint16_t person, std::string_view name);

// NAM<MMDD>.dat from the local month and day.
std::string nameListFileName(const LocalTime& today);

// _COPYNAME: appends the record to <dir>NAM<MMDD>.dat. 0 appended, 1 refused (see
// caller_paths.h) or the file could neither be opened nor created.
std::int32_t copyName(Platform& platform, const char* dir, std::int32_t number,
                      std::string_view name);

}  // namespace movar::records
