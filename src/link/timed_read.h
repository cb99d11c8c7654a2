// Reading a frame from a serial line against an inactivity limit.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform.h"

namespace movar::link {

struct TimedRead {
  std::size_t got = 0;
  std::size_t target = 0;  // as it stood when the read ended
  bool timedOut = false;
  bool overdue = false;  // the frame's whole allowance passed, however its bytes trickled
};

// The time a frame of `bytes` may take beyond its inactivity limit at `microsPerByte`.
inline Millis frameAllowance(std::size_t bytes, std::int64_t microsPerByte) {
  return (static_cast<std::int64_t>(bytes) * microsPerByte + 999) / 1000;
}

// Reads until `target` bytes are in, or until more than `inactivity` ms pass without a byte.
// `retarget`, when given, sees the bytes after every read that brought some and may change the
// target (frames that announce their own length). `buffer` must hold any target it may set.
// With `microsPerByte`, the whole frame must also be in within `inactivity` plus its allowance
// from the start of the read: each byte restarting the wait would let a trickle go on for ever.
TimedRead readFrame(Clock& clock, SerialLine& line, std::uint8_t* buffer, std::size_t target,
                    Millis inactivity,
                    const std::function<std::size_t(const std::uint8_t*, std::size_t got,
                                                    std::size_t target)>& retarget = {},
                    std::int64_t microsPerByte = 0);

}  // namespace movar::link
