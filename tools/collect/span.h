// A span of time as the command line and a site's configuration write it: a whole number of
// seconds, minutes or hours (30s, 10m, 2h), from 1 s to 7 days.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace movar::collect {

std::optional<std::chrono::milliseconds> parseSpan(std::string_view text);

}  // namespace movar::collect
