// The 20-digit text of a real-time record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace movar::records {

// person(6) year(4) month day hour minute machine(2 each), machine number by the adding rule;
// wider fields are written in full. Writes a zero-terminated text into `out`.
void formatRealtimeLine(const std::uint8_t* record, char* out, std::size_t capacity);

}  // namespace movar::records
