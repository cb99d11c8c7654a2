// The TCP settings flow of the card and door commands, which differ only in their pauses.
#pragma once

#include "settings/command.h"

namespace movar::settings {

// 1 ms before the connect; after the acknowledged preamble `first` ms, 0x15 alone, `rest` ms,
// 01 N ~N in one send, each payload byte and the checksum in a send of its own, the final 0x06
// within `finalLimit`, then 1 ms; 1 ms before the close and 25 ms after it on every path once a
// socket was made (a refused connect included).
Command tcpSettingFlow(std::uint8_t code, PayloadBuilder payload, Millis first, Millis rest,
                       Millis finalLimit);

}  // namespace movar::settings
