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
};

// Reads until `target` bytes are in, or until more than `inactivity` ms pass without a byte.
// `retarget`, when given, sees the bytes after every read that brought some and may change the
// target (frames that announce their own length). `buffer` must hold any target it may set.
TimedRead readFrame(Clock& clock, SerialLine& line, std::uint8_t* buffer, std::size_t target,
                    Millis inactivity,
                    const std::function<std::size_t(const std::uint8_t*, std::size_t got,
                                                    std::size_t target)>& retarget = {});

}  // namespace movar::link
