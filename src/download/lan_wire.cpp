#include "download/lan_wire.h"

#include <algorithm>
#include <limits>

#include "link/timed_read.h"

namespace movar::download {

Reception LanWire::receive(std::size_t target, Millis limit, Adjust adjust,
                           std::int64_t microsPerByte) {
  const Millis start = clock_.now();
  // With an adjustable length the head (5 bytes) comes first and names the rest.
  std::size_t awaited = adjust == Adjust::None ? target : std::min<std::size_t>(target, 5);
  bool adjusted = adjust == Adjust::None;
  // One receive at a time, each waiting no longer than the block's allowance has left.
  for (bool first = true;; first = false) {
    if (!first && link_.count() >= awaited) {
      if (adjusted) break;
      target = adjustedTarget(adjust, link_.data(), link_.count(), target);
      awaited = target;
      adjusted = true;
      if (link_.count() >= awaited) break;
    }
    const Millis allowedUntil = microsPerByte > 0
                                    ? start + limit + link::frameAllowance(target, microsPerByte)
                                    : std::numeric_limits<Millis>::max();
    const Millis left = allowedUntil - clock_.now();
    if (left <= 0) return {link_.count(), target, true, false, true};
    const Millis wait = std::min(limit, left);
    const bool got = first ? link_.receiveFrame(1, wait) : link_.receiveMore(link_.count() + 1, wait);
    if (!got) return {link_.count(), target, true, true, clock_.now() >= allowedUntil};
  }
  return {link_.count(), target, false, false};
}

}  // namespace movar::download
