// The block transfer on a serial line: reads of E - g bytes with the line's 5 ms timeouts,
// inactivity measured on the clock across reads.
#pragma once

#include <array>

#include "download/block_transfer.h"

namespace movar::download {

class SerialWire final : public BlockWire {
 public:
  SerialWire(Clock& clock, SerialLine& line) : clock_(clock), line_(line) {}

  Reception receive(std::size_t target, Millis limit, Adjust adjust,
                    std::int64_t microsPerByte) override;
  const std::uint8_t* block() const override { return buffer_.data(); }
  void send(std::uint8_t byte) override;
  void pause(Millis ms) override { clock_.sleep(ms); }
  void flush(const Flush& how) override;
  void discardOnce() override;
  bool strayByte(Millis limit) override;

 private:
  static constexpr std::size_t kFlushRead = 256;
  std::size_t readDiscarded();

  Clock& clock_;
  SerialLine& line_;
  std::array<std::uint8_t, kLargestBlock> buffer_{};
  std::array<std::uint8_t, kFlushRead> scratch_{};
};

}  // namespace movar::download
