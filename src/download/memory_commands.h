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

// The erase after a serial download: only the port whose terminal delivered the records.
std::int32_t deleteRecordsOnPort(Platform& platform, std::int32_t address, std::int32_t port);

// Runs `erase` (0: done) once the caller's own copy of the records is safe: the files are synced
// before this is reached, and a tool's erase gate, if any, has its say.
template <typename Erase>
void eraseAfterDownload(Platform& platform, Erase erase) {
  if (platform.eraseGate && !platform.eraseGate->mayErase()) return;
  const bool done = erase() == 0;
  if (platform.eraseGate) platform.eraseGate->erased(done);
}

}  // namespace movar::download
