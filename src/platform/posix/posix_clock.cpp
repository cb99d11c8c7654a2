#include "platform/posix/posix_platform.h"

#include <ctime>
#include <time.h>

namespace movar::posix {

Millis PosixClock::now() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return Millis{ts.tv_sec} * 1000 + ts.tv_nsec / 1'000'000;
}

void PosixClock::sleep(Millis ms) {
  if (ms <= 0) return;
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1'000'000)};
  while (::nanosleep(&ts, &ts) != 0) {
  }
}

LocalTime PosixClock::localTime() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace movar::posix
