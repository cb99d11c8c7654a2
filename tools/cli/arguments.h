// The command line's own checks of what the user typed, made before any port, socket or file is
// touched: a refused argument is a usage error (exit 2) that names the argument.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace movar::cli {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A numeric positional: what it means and the values that mean something to the terminal.
struct Param {
  const char* name;
  const char* help;
  std::int64_t min = 0;
  std::int64_t max = 255;
};

constexpr std::int64_t kWordMax = 65535;

constexpr Param byteParam(const char* name, const char* help) { return {name, help, 0, 255}; }
constexpr Param wordParam(const char* name, const char* help) { return {name, help, 0, kWordMax}; }

// Decimal or 0x hexadecimal, nothing else (no sign but a leading minus, no spaces, no suffix).
std::optional<std::int64_t> parseNumber(std::string_view text);

// `text` as a number in min..max, else a UsageError naming `what`.
std::int32_t checkedNumber(const std::string& what, const std::string& text, std::int64_t min,
                           std::int64_t max);

// A duration: a number with s, m or h (30s, 10m, 2h), in milliseconds; 1 s to 7 days.
std::int32_t checkedDuration(const std::string& what, const std::string& text);

// An address the library takes (four dot-separated decimal fields) and the socket layer reads
// as the same four values (each 0..255).
bool isIpv4Address(const std::string& text);

}  // namespace movar::cli
