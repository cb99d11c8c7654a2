#include "link/timed_read.h"

namespace movar::link {

TimedRead readFrame(Clock& clock, SerialLine& line, std::uint8_t* buffer, std::size_t target,
                    Millis inactivity,
                    const std::function<std::size_t(const std::uint8_t*, std::size_t, std::size_t)>&
                        retarget) {
  TimedRead result;
  Millis lastProgress = clock.now();
  while (result.got < target) {
    const std::size_t n = line.read(buffer + result.got, target - result.got);
    if (n > 0) {
      result.got += n;
      lastProgress = clock.now();
      if (retarget) target = retarget(buffer, result.got, target);
    }
    if (clock.now() - lastProgress > inactivity) {
      result.timedOut = true;
      break;
    }
  }
  return result;
}

}  // namespace movar::link
