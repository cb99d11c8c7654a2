#include "settings/payloads.h"

#include "link/handshake.h"

namespace movar::settings::payload {

namespace {
std::uint8_t high(std::int32_t value) { return link::lowByte(value >> 8); }
}  // namespace

Bytes lowBytes(Values values) {
  Bytes bytes;
  for (std::int32_t v : values) bytes.push_back(link::lowByte(v));
  return bytes;
}

Bytes highLow(Values values) {
  Bytes bytes;
  for (std::int32_t v : values) bytes.insert(bytes.end(), {high(v), link::lowByte(v)});
  return bytes;
}

Bytes doorSwitch(Values values) { return {values[0] == 1 ? std::uint8_t{0x55} : std::uint8_t{0x00}}; }

}  // namespace movar::settings::payload
