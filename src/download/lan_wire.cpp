#include "download/lan_wire.h"

#include <algorithm>

namespace movar::download {

Reception LanWire::receive(std::size_t target, Millis limit, Adjust adjust) {
  // With an adjustable length the head (5 bytes) comes first and names the rest.
  const std::size_t first = adjust == Adjust::None ? target : std::min<std::size_t>(target, 5);
  if (!link_.receiveFrame(first, limit)) return {link_.count(), target, true, true};
  target = adjustedTarget(adjust, link_.data(), link_.count(), target);
  if (link_.count() < target && !link_.receiveMore(target, limit)) {
    return {link_.count(), target, true, true};
  }
  return {link_.count(), target, false, false};
}

}  // namespace movar::download
