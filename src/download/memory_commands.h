// Erasing and restoring a terminal's record memory: one command, no data either way.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform.h"

namespace movar::download {

std::int32_t deleteRecords(Platform& platform, std::int32_t address, std::int32_t port);      // _DELETE
std::int32_t restoreRecords(Platform& platform, std::int32_t address, std::int32_t port);     // _RESTORE
std::int32_t restoreAllRecords(Platform& platform, std::int32_t address, std::int32_t port);  // _RESTOREALL
std::int32_t lanDeleteRecords(Platform& platform, const char* ip);                           // _LANDELETE
std::int32_t lanRestoreAllRecords(Platform& platform, const char* ip);                       // _LANRESTOREALL

// The erase after a serial download: only the port whose terminal delivered the records.
std::int32_t deleteRecordsOnPort(Platform& platform, std::int32_t address, std::int32_t port);

// After a download received in full: `converted` is the conversion's result, which synced every
// file. Runs `erase` (0: done) only when that succeeded and a tool's erase gate, if any, agrees.
// Whatever keeps the records on the terminal stays in the failure account, for the host to ask.
void eraseAfterDownload(Platform& platform, std::int32_t converted,
                        const std::function<std::int32_t()>& erase);

}  // namespace movar::download
