// Polling a terminal for its newest attendance record, one record per call.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

namespace movar::download {

// Twenty digits, or more when the machine number has three; always zero-terminated.
using RealtimeText = std::array<char, 32>;

// Twenty zeros when no record came (none waiting, or anything went wrong).
RealtimeText realDownload(Platform& platform, std::int32_t address, std::int32_t port);
RealtimeText lanRealDownload(Platform& platform, const char* ipv4Text);

}  // namespace movar::download
