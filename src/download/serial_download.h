// _DOWNLOAD: the stored records of a terminal on a serial line, into movar.dat.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace movar::download {

std::int32_t serialDownload(Platform& platform, std::int32_t address, std::int32_t port);

}  // namespace movar::download
