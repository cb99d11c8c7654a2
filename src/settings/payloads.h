// The payloads of the setting commands, from the export's arguments: bytes are the low 8 bits of
// their argument, 16-bit numbers its low 16 bits, high byte first.
#pragma once

#include "settings/command.h"

namespace movar::settings::payload {

Bytes lowBytes(Values values, std::string_view = {});  // each argument's low byte, in order
Bytes highLow(Values values, std::string_view = {});   // each argument as a 16-bit number, in order

// A fixed operation byte alone, or before the first argument as a 16-bit number.
template <std::uint8_t Operation>
Bytes operation(Values, std::string_view) {
  return {Operation};
}
template <std::uint8_t Operation>
Bytes operationAndNumber(Values values, std::string_view) {
  return {Operation, static_cast<std::uint8_t>((values[0] >> 8) & 0xFF),
          static_cast<std::uint8_t>(values[0] & 0xFF)};
}

// The serial door switch: 0x55 for 1, 0x00 for anything else.
Bytes doorSwitch(Values values, std::string_view);

// A person number, then the name.
Bytes numberAndName(Values values, std::string_view name);
// The thirteen fields of a voice record (fields 2, 3 and 5 16-bit, the others bytes), the text's
// length, the text.
Bytes voiceRecord(Values fields, std::string_view text);

}  // namespace movar::settings::payload
