// Turning a downloaded record file into its text file, with dated backups.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace movar::records {

// Each returns 0 when the text file was written (backups made), -1 when the record file could
// not be opened or the text file not created after the retries, or not written in full.

// movar.dat -> movar.txt; machine numbers by the 60-first rule.
std::int32_t convertAfterDownload(Platform& platform);
// movar<n>.dat -> movar<n>.txt; machine numbers by the adding rule.
std::int32_t convertNumberedDownload(Platform& platform, std::int32_t n);
// movar.dat -> movar.txt; every line gets machine number m (low byte).
std::int32_t convertAddressDownload(Platform& platform, std::int32_t m);

// _CONVERFILE and _CONVERXFFILE: <dir><name>.dat -> <dir><name>.txt with a text backup in
// <dir>downbak. 0 converted, 1 refused (see caller_paths.h) or not converted.
std::int32_t convertFile(Platform& platform, const char* dir, const char* name);
std::int32_t convertTransactionFile(Platform& platform, const char* dir, const char* name);

}  // namespace movar::records
