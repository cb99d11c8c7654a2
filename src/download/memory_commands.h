// Erasing and restoring a terminal's record memory: one command, no data either way.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace movar::download {

std::int32_t deleteRecords(Platform& platform, std::int32_t address, std::int32_t port);      // _DELETE
std::int32_t restoreRecords(Platform& platform, std::int32_t address, std::int32_t port);     // _RESTORE
std::int32_t restoreAllRecords(Platform& platform, std::int32_t address, std::int32_t port);  // _RESTOREALL
std::int32_t lanDeleteRecords(Platform& platform, const char* ip);                           // _LANDELETE
std::int32_t lanRestoreAllRecords(Platform& platform, const char* ip);                       // _LANRESTOREALL

}  // namespace movar::download
