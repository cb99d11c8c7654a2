#include "link/serial_port.h"

#include <vector>

#include "link/failure.h"

namespace movar::link {

namespace {

int baudForRateCode(int code) {
  static constexpr int kRates[] = {57600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
  return code >= 0 && code < 8 ? kRates[code] : 0;  // 0: keep the driver's speed
}

}  // namespace

OpenProfile openProfile(OpenRoutine routine, int arg) {
  switch (routine) {
    case OpenRoutine::Serial: return {{arg % 2 == 0 ? 57600 : 19200, 1}, 30};
    case OpenRoutine::Backup: return {{19200, 2}, 30};
    case OpenRoutine::Modem: return {{9600, 1}, 30};
    case OpenRoutine::AtRate: return {{baudForRateCode(arg), 1}, 30};
    case OpenRoutine::Fingerprint: return {{9600, 1}, 3};
  }
  return {};
}

SerialPort openPort(Platform& platform, int port, OpenRoutine routine, int arg) {
  if (!isComPortNumber(port)) return nullptr;
  const OpenProfile profile = openProfile(routine, arg);
  SerialPort line = platform.serial.open(port, profile.settings);
  if (line) platform.clock.sleep(profile.pauseAfterOpen);
  return line;
}

SerialPort PortCycle::openNext(Platform& platform, OpenRoutine routine, int arg) {
  constexpr unsigned kWholeCycle = 0b11110;  // bits of ports 1..4
  unsigned failedInARow = 0;
  std::vector<int> failed;
  for (;;) {
    SerialPort line = openPort(platform, port_, routine, arg);
    if (line) return line;
    failed.push_back(port_);
    if (port_ >= 1 && port_ <= 4) failedInARow |= 1u << port_;
    if (failedInARow == kWholeCycle) {
      recordFailure(FailureKind::NoPort, "none of " + describePorts(failed) + " could be opened");
      return nullptr;
    }
    step();
  }
}

int nextPort(int port) { return port >= 4 || port < 1 ? 1 : port + 1; }

}  // namespace movar::link
