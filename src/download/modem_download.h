// _MODEMDOWNLOAD: the stored records of a terminal behind a dial-up modem, into movar.dat. The
// terminal keeps its records.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace movar::download {

std::int32_t modemDownload(Platform& platform, std::int32_t address, std::int32_t port,
                           const char* phoneNumber);

}  // namespace movar::download
