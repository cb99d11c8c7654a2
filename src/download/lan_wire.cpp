#include "download/lan_wire.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "link/timed_read.h"

namespace movar::download {

Reception LanWire::receive(std::size_t target, Millis limit, Adjust adjust,
                           std::int64_t microsPerByte) {
  const Millis start = clock_.now();
  const auto allowedUntil = [&] {
    return microsPerByte > 0 ? start + limit + link::frameAllowance(target, microsPerByte)
                             : std::numeric_limits<Millis>::max();
  };
  bool fresh = true;
  // One receive at a time, none waiting longer than the block's allowance has left; an empty
  // optional once `m` bytes are in.
  const auto receiveUntil = [&](std::size_t m) -> std::optional<Reception> {
    while (fresh || link_.count() < m) {
      const Millis left = allowedUntil() - clock_.now();
      if (left <= 0) return Reception{link_.count(), target, true, false, true};
      const Millis wait = std::min(limit, left);
      const bool got = fresh ? link_.receiveFrame(1, wait) : link_.receiveMore(link_.count() + 1, wait);
      fresh = false;
      if (!got) return Reception{link_.count(), target, true, true, clock_.now() >= allowedUntil()};
    }
    return std::nullopt;
  };
  // With an adjustable length the head (5 bytes) comes first and names the rest.
  if (auto lost = receiveUntil(adjust == Adjust::None ? target : std::min<std::size_t>(target, 5))) {
    return *lost;
  }
  target = adjustedTarget(adjust, link_.data(), link_.count(), target);
  if (auto lost = receiveUntil(target)) return *lost;
  return {link_.count(), target, false, false};
}

}  // namespace movar::download
