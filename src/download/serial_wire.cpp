#include "download/serial_wire.h"

#include <algorithm>

#include "link/handshake.h"

namespace movar::download {

Reception SerialWire::receive(std::size_t target, Millis limit, Adjust adjust) {
  buffer_.fill(0);
  std::size_t g = 0;
  Millis lastByte = clock_.now();
  while (g < target) {
    const std::size_t got = line_.read(buffer_.data() + g, std::min(target, buffer_.size()) - g);
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
