// The fingerprint exports that move templates between a unit and files in FINGERREC below the
// record directory: the ID list, reading a template and sending one back.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace movar::persons {

// The directory with its trailing separator; made when `create` is set and it is missing.
std::string fingerprintDirectory(Platform& platform, bool create);

std::int32_t getIdList(Platform& platform, std::int32_t address, std::int32_t port);
std::int32_t getTemplate(Platform& platform, std::int32_t address, std::int32_t port,
                         std::int32_t id, std::int32_t attribute, std::int32_t finger);
// The ID and finger only choose the file: the packet carries no template address.
std::int32_t sendTemplate(Platform& platform, std::int32_t address, std::int32_t port,
                          std::int32_t id, std::int32_t finger);

}  // namespace movar::persons
