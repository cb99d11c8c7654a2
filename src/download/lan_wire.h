// The block transfer on a TCP connection: every block is received from offset 0 of the link's
// receive area; nothing is flushed.
#pragma once

#include "download/block_transfer.h"
#include "link/net_link.h"

namespace movar::download {

class LanWire final : public BlockWire {
 public:
  LanWire(Clock& clock, link::NetLink& link) : clock_(clock), link_(link) {}

  Reception receive(std::size_t target, Millis limit, Adjust adjust,
                    std::int64_t microsPerByte) override;
  const std::uint8_t* block() const override { return link_.data(); }
  void send(std::uint8_t byte) override { link_.sendByte(byte); }
  void pause(Millis ms) override { clock_.sleep(ms); }
  void flush(const Flush&) override {}
  void discardOnce() override {}
  bool strayByte(Millis) override { return false; }

 private:
  Clock& clock_;
  link::NetLink& link_;
};

}  // namespace movar::download
