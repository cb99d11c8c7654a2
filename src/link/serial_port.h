// Opening COM ports with the fixed settings of each exchange family, and the port cycle.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace movar::link {

using SerialPort = std::unique_ptr<SerialLine>;

// The open routines, one row each: OpenSerialPort (57600 on even attempts, 19200 on odd),
// OpenBackupPort (19200, two stop bits), OpenModemPort (9600), OpenPortAtRate (by rate code) and
// OpenFingerprintPort (9600, a 3 ms pause).
enum class OpenRoutine { Serial, Backup, Modem, AtRate, Fingerprint };

struct OpenProfile {
  LineSettings settings;
  Millis pauseAfterOpen = 30;
};

// `arg` is the attempt number for Serial and the rate code for AtRate; ignored otherwise.
OpenProfile openProfile(OpenRoutine routine, int arg = 0);

// Null when the device could not be opened (no pause is made then).
SerialPort openPort(Platform& platform, int port, OpenRoutine routine, int arg = 0);

// Ports cycle 1,2,3,4,1; a start above 4 is used once and the cycle continues at 1. A start
// below 1 goes straight to 1: the ports on the way never open, so stepping through them one by
// one would only burn time (two thousand million of them from INT_MIN).
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

}  // namespace movar::link
