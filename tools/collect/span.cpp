#include "collect/span.h"

#include <charconv>

namespace movar::collect {

std::optional<std::chrono::milliseconds> parseSpan(std::string_view text) {
  constexpr long long kWeek = 7 * 24 * 3600;
  const char unit = text.empty() ? '\0' : text.back();
  const long long scale = unit == 's' ? 1 : unit == 'm' ? 60 : unit == 'h' ? 3600 : 0;
  if (!scale || text.size() < 2) return std::nullopt;
  long long count = 0;
  const std::string_view digits = text.substr(0, text.size() - 1);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  if (error != std::errc{} || end != digits.data() + digits.size() || count < 1 || count > kWeek / scale) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(count * scale * 1000);
}

}  // namespace movar::collect
