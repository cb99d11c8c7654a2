#include "settings/payloads.h"

#include "link/handshake.h"

namespace movar::settings::payload {

namespace {
std::uint8_t high(std::int32_t value) { return link::lowByte(value >> 8); }
}  // namespace

Bytes lowBytes(Values values, std::string_view) {
  Bytes bytes;
  for (std::int32_t v : values) bytes.push_back(link::lowByte(v));
  return bytes;
}

Bytes highLow(Values values, std::string_view) {
  Bytes bytes;
  for (std::int32_t v : values) bytes.insert(bytes.end(), {high(v), link::lowByte(v)});
  return bytes;
}

Bytes doorSwitch(Values values, std::string_view) { return {values[0] == 1 ? std::uint8_t{0x55} : std::uint8_t{0x00}}; }

Bytes numberAndName(Values values, std::string_view name) {
  Bytes bytes = highLow(values.first(1));
  bytes.insert(bytes.end(), name.begin(), name.end());
  return bytes;
}

Bytes voiceRecord(Values fields, std::string_view text) {
  constexpr bool kWide[13] = {false, true, true, false, true};
  Bytes bytes;
  for (std::size_t i = 0; i < 13; ++i) {
    if (kWide[i]) bytes.push_back(high(fields[i]));
    bytes.push_back(link::lowByte(fields[i]));
  }
  bytes.push_back(static_cast<std::uint8_t>(text.size()));
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

}  // namespace movar::settings::payload
