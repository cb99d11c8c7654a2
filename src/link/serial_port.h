// Opening COM ports with the fixed settings of each exchange family, and the pause helpers.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace movar::link {

using SerialPort = std::unique_ptr<SerialLine>;

enum class OpenRoutine { Serial, Backup, Modem, AtRate, Fingerprint };

struct OpenProfile {
  LineSettings settings;
  Millis pauseAfterOpen = 30;
};

// `arg` is the attempt number for Serial and the rate code for AtRate; ignored otherwise.
OpenProfile openProfile(OpenRoutine routine, int arg = 0);

// Null when the device could not be opened (no pause is made then).
SerialPort openPort(Platform& platform, int port, OpenRoutine routine, int arg = 0);

inline SerialPort OpenSerialPort(Platform& p, int port, int attempt) {
  return openPort(p, port, OpenRoutine::Serial, attempt);
}
inline SerialPort OpenBackupPort(Platform& p, int port) { return openPort(p, port, OpenRoutine::Backup); }
inline SerialPort OpenModemPort(Platform& p, int port) { return openPort(p, port, OpenRoutine::Modem); }
inline SerialPort OpenPortAtRate(Platform& p, int port, int rateCode) {
  return openPort(p, port, OpenRoutine::AtRate, rateCode);
}
inline SerialPort OpenFingerprintPort(Platform& p, int port) {
  return openPort(p, port, OpenRoutine::Fingerprint);
}

// Ports cycle 1,2,3,4,1; a start above 4 is used once and the cycle continues at 1.
int nextPort(int port);

inline bool isComPortNumber(int port) { return port >= 1 && port <= 9; }

// Walks the port cycle past ports that fail to open. Gives up once every port of the 1..4 cycle
// has failed to open in a row, so a machine without usable ports cannot loop for ever.
class PortCycle {
 public:
  explicit PortCycle(int start) : port_(start) {}
  int port() const { return port_; }
  void step() { port_ = nextPort(port_); }
  // Opens the current port or the first after it that opens; null when the cycle gave up.
  SerialPort openNext(Platform& platform, OpenRoutine routine, int arg = 0);

 private:
  int port_;
};

inline void SleepMs(Clock& clock, Millis ms) { clock.sleep(ms); }
inline void SleepSeconds(Clock& clock, int seconds) { clock.sleep(Millis{seconds} * 1000); }

}  // namespace movar::link
