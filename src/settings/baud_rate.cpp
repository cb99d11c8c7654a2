#include "settings/baud_rate.h"

#include <string>

#include "link/failure.h"
#include "link/handshake.h"
#include "link/serial_port.h"

namespace movar::settings {

namespace {
// The terminal's rate is unknown: from 57600 down to 1200, then 57600 once more.
constexpr int kRateCodes[] = {7, 6, 5, 4, 3, 2, 1, 7};
constexpr Millis kAnswerLimit = 2'000;
}  // namespace

Bytes wakeUpRun() {
  Bytes run(20, 0x63);
  run.insert(run.end(), 20, 0x6A);
  return run;
}

std::int32_t setBaudRate(Platform& platform, std::int32_t port, std::int32_t code,
                         std::initializer_list<std::int32_t> message) {
  Bytes bytes;
  for (std::int32_t b : message) bytes.push_back(link::lowByte(b));
  bytes.push_back(link::lowByte(code));
  const Bytes wakeUp = wakeUpRun();
  for (int rateCode : kRateCodes) {
    link::SerialPort line = link::openPort(platform, port, link::OpenRoutine::AtRate, rateCode);
    if (!line) {
      recordFailure(FailureKind::NoPort, "COM" + std::to_string(port) + " could not be opened");
      return 1;
    }
    line->write(wakeUp.data(), wakeUp.size());
    line->write(bytes.data(), bytes.size());
    if (link::awaitByte(platform.clock, *line, kAnswerLimit) == link::control::Ack) return 0;
  }
  recordFailure(FailureKind::NoAnswer, "no terminal on COM" + std::to_string(port) +
                                           " acknowledged the new rate at any speed");
  return 1;
}

}  // namespace movar::settings
