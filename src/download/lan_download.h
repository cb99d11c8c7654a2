// _LANDOWNLOAD, _LANMANYDOWNLOAD and _LANDOWNLOADADDR: one flow, three settings.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace movar::download {

std::int32_t lanDownload(Platform& platform, const char* ip);
std::int32_t lanManyDownload(Platform& platform, const char* ip, std::int32_t fileNumber);
std::int32_t lanDownloadAddressed(Platform& platform, const char* ip, std::int32_t address);

// The machine number that _LANDOWNLOADADDR writes into every line: the address text's last
// group when it has one digit, else its last two digits.
std::int32_t machineFromAddressText(const char* ip);

}  // namespace movar::download
