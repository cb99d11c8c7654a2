// The two runners of the setting commands: a row on a serial line found by the attempt policy,
// or on a TCP connection. Both return 0 when the terminal acknowledged everything, 1 otherwise,
// and close the line on every path.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "settings/command.h"

namespace movar::settings {

// The row's text argument; none when the host's text has no usable length (nothing is sent).
using Text = std::optional<std::string_view>;

std::int32_t runSerial(Platform& platform, const Command& command, std::int32_t address,
                       std::int32_t port, Values values, Text text = std::string_view{});
std::int32_t runTcp(Platform& platform, const Command& command, const char* ip, Values values,
                    Text text = std::string_view{});

// The entry points' form: the export's own arguments as written.
inline std::int32_t runSerial(Platform& platform, const Command& command, std::int32_t address,
                              std::int32_t port, std::initializer_list<std::int32_t> values = {},
                              Text text = std::string_view{}) {
  return runSerial(platform, command, address, port, Values(values.begin(), values.size()), text);
}
inline std::int32_t runTcp(Platform& platform, const Command& command, const char* ip,
                           std::initializer_list<std::int32_t> values = {},
                           Text text = std::string_view{}) {
  return runTcp(platform, command, ip, Values(values.begin(), values.size()), text);
}

// The bytes a send step puts on the wire for this payload, whose last `textLength` bytes are the
// text argument.
Bytes pieceBytes(Piece piece, const Bytes& payload, std::size_t textLength = 0);

}  // namespace movar::settings
