// Decimal text fields: the value's digits with zeros in front up to a minimum width. A value with
// more digits than the width is written in full; only a line's fixed length ever cuts it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// "00".."99", for the two-digit fields that make up most of every line.
inline constexpr auto kDecimalPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * static_cast<std::size_t>(i)] = static_cast<char>('0' + i / 10);
    pairs[2 * static_cast<std::size_t>(i) + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Two digits of a value below 100.
inline void writePair(char* out, unsigned value) { std::memcpy(out, &kDecimalPairs[2 * value], 2); }

inline std::string decimal(std::uint32_t value, std::size_t width = 0) {
  char buffer[16];
  return std::string(buffer, writeDecimal(buffer, value, width));
}

}  // namespace movar::records
