// The framed backup transfer between the PC's "zwbak.txt" and the device on a serial line.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace movar::backup {

// One byte per write and 1 ms after each: the device takes frames no faster.
void writePaced(Clock& clock, SerialLine& line, const Bytes& frame);

// _RXZWFILE: the device's backup data into "zwbak.txt". 0 when the device sent it all, else 1.
std::int32_t receiveBackup(Platform& platform, std::int32_t port);

// _TXZWFILE: "zwbak.txt" to the device. 0 when the device took it and reported success, else 1.
std::int32_t sendBackup(Platform& platform, std::int32_t port);

}  // namespace movar::backup
