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

Bytes highLow(Values values) { return {high(values[0]), link::lowByte(values[0])}; }

Bytes zero(Values) { return {0x00}; }

Bytes lockNumber(Values values) { return {0x01, high(values[0]), link::lowByte(values[0])}; }

}  // namespace movar::settings::payload
