// Decimal text fields: the value's digits with zeros in front up to a minimum width. A value with
// more digits than the width is written in full; only a line's fixed length ever cuts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace movar::records {

inline std::size_t decimalDigits(std::uint32_t value) {
  std::size_t n = 1;
  while (value >= 10) {
    value /= 10;
    ++n;
  }
  return n;
}

// Writes at `out` (room for max(width, 10) bytes) and returns the count written.
inline std::size_t writeDecimal(char* out, std::uint32_t value, std::size_t width) {
  const std::size_t digits = decimalDigits(value);
  const std::size_t n = digits > width ? digits : width;
  for (std::size_t i = n; i-- > 0;) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return n;
}

inline std::string decimal(std::uint32_t value, std::size_t width = 0) {
  char buffer[16];
  return std::string(buffer, writeDecimal(buffer, value, width));
}

}  // namespace movar::records
