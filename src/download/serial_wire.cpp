#include "download/serial_wire.h"

#include "link/handshake.h"
#include "link/timed_read.h"

namespace movar::download {

Reception SerialWire::receive(std::size_t target, Millis limit, Adjust adjust,
                              std::int64_t microsPerByte) {
  buffer_.fill(0);
  const link::TimedRead read = link::readFrame(
      clock_, line_, buffer_.data(), target, limit,
      [adjust](const std::uint8_t* block, std::size_t got, std::size_t current) {
        return adjustedTarget(adjust, block, got, current);
      },
      microsPerByte);
  return {read.got, read.target, read.timedOut, false, read.overdue};
}

void SerialWire::send(std::uint8_t byte) { link::writeByte(line_, byte); }

std::size_t SerialWire::readDiscarded() { return line_.read(scratch_.data(), scratch_.size()); }

void SerialWire::flush(const Flush& how) {
  do {
    if (how.settle > 0) clock_.sleep(how.settle);
    if (how.readAfterSettle) readDiscarded();
    clock_.sleep(how.quiet);
  } while (readDiscarded() > 0);
}

void SerialWire::discardOnce() { readDiscarded(); }

bool SerialWire::strayByte(Millis limit) {
  return link::awaitByte(clock_, line_, limit).has_value();
}

}  // namespace movar::download
