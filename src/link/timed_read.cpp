#include "link/timed_read.h"

#include <algorithm>
#include <limits>

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
                        retarget,
                    std::int64_t microsPerByte) {
  TimedRead result{0, target, false, false};
  const Millis start = clock.now();
  // The read running when the inactivity limit passes may still bring the byte that was due.
  constexpr Millis kLastRead = 4 * kSerialReadGap;
  const auto allowedUntil = [&] {
    if (microsPerByte <= 0) return std::numeric_limits<Millis>::max();
    return start + inactivity + kLastRead + frameAllowance(result.target, microsPerByte);
  };
  Millis lastByte = start;
  while (result.got < result.target) {
    const Millis deadline = std::min(lastByte + inactivity, allowedUntil());
    const std::size_t wanted = readLength(clock, result.target - result.got, deadline);
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
    if (result.got < result.target && clock.now() > allowedUntil()) {
      result.timedOut = result.overdue = true;
      break;
    }
  }
  return result;
}

}  // namespace movar::link
