#include "link/timed_read.h"

namespace movar::link {

namespace {

// A silent read of n bytes lasts 5n + 5 ms; near the limit the reads shrink so that a pause just
// over the limit is seen as one instead of being swallowed by a read still running.
std::size_t readLength(Clock& clock, std::size_t wanted, Millis deadline) {
  const Millis fits = (deadline - clock.now() - kSerialReadGap) / kSerialReadGap;
  if (fits >= static_cast<Millis>(wanted)) return wanted;
  return fits > 1 ? static_cast<std::size_t>(fits) : 1;
}

}  // namespace

TimedRead readFrame(Clock& clock, SerialLine& line, std::uint8_t* buffer, std::size_t target,
                    Millis inactivity,
                    const std::function<std::size_t(const std::uint8_t*, std::size_t, std::size_t)>&
                        retarget) {
  TimedRead result{0, target, false};
  Millis lastByte = clock.now();
  while (result.got < result.target) {
    const std::size_t wanted = readLength(clock, result.target - result.got, lastByte + inactivity);
    const std::size_t n = line.read(buffer + result.got, wanted);
    if (n > 0) {
      result.got += n;
      lastByte = clock.now();
      if (retarget) result.target = retarget(buffer, result.got, result.target);
    }
    if (clock.now() - lastByte > inactivity) {
      result.timedOut = true;
      break;
    }
  }
  return result;
}

}  // namespace movar::link
