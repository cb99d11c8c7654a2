// The two runners of the setting commands: a row on a serial line found by the attempt policy,
// or on a TCP connection. Both return 0 when the terminal acknowledged everything, 1 otherwise,
// and close the line on every path.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/platform.h"
#include "settings/command.h"

namespace movar::settings {

std::int32_t runSerial(Platform& platform, const Command& command, std::int32_t address,
                       std::int32_t port, Values values);
std::int32_t runTcp(Platform& platform, const Command& command, const char* ip, Values values);

// The entry points' form: the export's own arguments as written.
inline std::int32_t runSerial(Platform& platform, const Command& command, std::int32_t address,
                              std::int32_t port, std::initializer_list<std::int32_t> values = {}) {
  return runSerial(platform, command, address, port, Values(values.begin(), values.size()));
}
inline std::int32_t runTcp(Platform& platform, const Command& command, const char* ip,
                           std::initializer_list<std::int32_t> values = {}) {
  return runTcp(platform, command, ip, Values(values.begin(), values.size()));
}

// The bytes a send step puts on the wire for this payload.
Bytes pieceBytes(Piece piece, const Bytes& payload);

}  // namespace movar::settings
