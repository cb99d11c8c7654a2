// _SETBAUDRATE: the rate-change message, sent without a preamble at one rate after another on
// one port until the terminal acknowledges it.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/platform.h"

namespace movar::settings {

// 20 x 0x63 then 20 x 0x6A in one write: the terminal's wake-up run.
Bytes wakeUpRun();

// `message` is the twelve message bytes; `code` goes out after them. 0 acknowledged, 1 otherwise
// (also at once when the port does not open: no other port is tried).
std::int32_t setBaudRate(Platform& platform, std::int32_t port, std::int32_t code,
                         std::initializer_list<std::int32_t> message);

}  // namespace movar::settings
