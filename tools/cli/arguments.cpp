#include "arguments.h"

#include <arpa/inet.h>

#include <charconv>

#include "collect/span.h"
#include "link/net_link.h"

namespace movar::cli {

std::optional<std::int64_t> parseNumber(std::string_view text) {
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.starts_with('-') || text.starts_with('+')) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return negative ? -value : value;
}

std::int32_t checkedNumber(const std::string& what, const std::string& text, std::int64_t min,
                           std::int64_t max) {
  const std::optional<std::int64_t> value = parseNumber(text);
  const std::string range = std::to_string(min) + "-" + std::to_string(max);
  if (!value) throw UsageError(what + ": \"" + text + "\" is not a number (decimal or 0x hex)");
  if (*value < min || *value > max) {
    throw UsageError(what + ": " + text + " is outside " + range);
  }
  return static_cast<std::int32_t>(*value);
}

std::int32_t checkedDuration(const std::string& what, const std::string& text) {
  const auto span = collect::parseSpan(text);
  if (!span) throw UsageError(what + ": \"" + text + "\" is not a duration from 1s to 7 days (30s, 10m, 2h)");
  return static_cast<std::int32_t>(span->count());
}

bool isIpv4Address(const std::string& text) {
  in_addr parsed{};
  return link::isDottedDecimal(text.c_str()) && ::inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

}  // namespace movar::cli
