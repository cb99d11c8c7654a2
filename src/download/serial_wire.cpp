#include "download/serial_wire.h"

#include <algorithm>

#include "link/handshake.h"

namespace movar::download {

// A silent read of n bytes lasts 5n + 5 ms; near the limit the reads shrink so that a pause just
// over the limit is seen as one instead of being caught by a read still running.
std::size_t SerialWire::readLength(std::size_t wanted, Millis deadline) {
  const Millis left = deadline - clock_.now();
  const Millis fits = (left - kGapMs) / kGapMs;
  if (fits >= static_cast<Millis>(wanted)) return wanted;
  return fits > 1 ? static_cast<std::size_t>(fits) : 1;
}

Reception SerialWire::receive(std::size_t target, Millis limit, Adjust adjust) {
  buffer_.fill(0);
  std::size_t g = 0;
  Millis lastByte = clock_.now();
  while (g < target) {
    const std::size_t got = line_.read(buffer_.data() + g, readLength(target - g, lastByte + limit));
    if (got > 0) {
      g += got;
      lastByte = clock_.now();
      target = adjustedTarget(adjust, buffer_.data(), g, target);
    }
    if (clock_.now() - lastByte > limit) return {g, target, true, false};
  }
  return {g, target, false, false};
}

void SerialWire::send(std::uint8_t byte) { link::writeByte(line_, byte); }

std::size_t SerialWire::readDiscarded() { return line_.read(scratch_.data(), scratch_.size()); }

void SerialWire::flush(Flush form) {
  if (form == Flush::Long) {
    do {
      clock_.sleep(40);
      readDiscarded();
      clock_.sleep(10);
    } while (readDiscarded() > 0);
  } else if (form == Flush::Short) {
    do {
      clock_.sleep(10);
    } while (readDiscarded() > 0);
  }
}

void SerialWire::discardOnce() { readDiscarded(); }

bool SerialWire::strayByte(Millis limit) {
  return link::awaitByte(clock_, line_, limit).has_value();
}

}  // namespace movar::download
