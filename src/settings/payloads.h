// The payloads of the setting commands, from the export's arguments: bytes are the low 8 bits of
// their argument, 16-bit numbers its low 16 bits, high byte first.
#pragma once

#include "settings/command.h"

namespace movar::settings::payload {

Bytes lowBytes(Values values);    // each argument's low byte, in argument order
Bytes highLow(Values values);     // the first argument as a 16-bit number
Bytes zero(Values values);        // the single byte 0x00
Bytes lockNumber(Values values);  // 0x01, then the first argument as a 16-bit number

}  // namespace movar::settings::payload
