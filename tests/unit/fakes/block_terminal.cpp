#include "fakes/block_terminal.h"

namespace movar::fake {

namespace {
constexpr std::size_t kPerBlock = 28;
std::uint8_t low(unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); }
}  // namespace

Bytes recordBytes(std::uint32_t first, std::uint32_t count) {
  Bytes out;
  for (std::uint32_t i = first; i < first + count; ++i) {
    out.insert(out.end(), {low(i >> 8), low(i), low(0x90 | (1 + i % 12)), low(1 + i % 28),
                           low(i % 24), low(i % 60)});
  }
  return out;
}

Bytes headerBlock(std::uint8_t kind, std::uint8_t high, std::uint8_t lowByte) {
  return {0x01, 0x00, 0xFF, kind, low(0xFF - kind), high, lowByte, low(high + lowByte)};
}

Bytes headerFor(std::uint32_t records) {
  const std::uint8_t kind = records > 0xFFFF ? 3 : 2;
  const std::uint32_t count = records > 0xFFFF ? records - 0x10000 : records;
  return headerBlock(kind, low(count >> 8), low(count));
}

Bytes recordBlock(std::uint8_t number, const Bytes& payload) {
  const auto length = low(static_cast<unsigned>(payload.size()));
  Bytes block{0x01, number, low(0xFF - number), length, low(0xFF - length)};
  unsigned sum = 0;
  for (std::uint8_t b : payload) sum += b;
  block.insert(block.end(), payload.begin(), payload.end());
  block.push_back(low(sum));
  return block;
}

Bytes endBlock(std::uint8_t number, std::uint16_t transferSum) {
  Bytes block{0x01, number, low(0xFF - number), 12, 0xF3, low(transferSum >> 8), low(transferSum)};
  for (int i = 0; i < 5; ++i) block.insert(block.end(), {0x55, 0xAA});
  unsigned sum = 0;
  for (std::size_t i = 5; i < 17; ++i) sum += block[i];
  block.push_back(low(sum));
  return block;
}

std::uint8_t checkByte(const Bytes& block) { return block.back(); }

BlockTerminal::BlockTerminal(std::uint32_t records) {
  blocks.push_back(headerFor(records));
  if (records == 0) return;
  std::uint16_t sum = 0;
  std::uint32_t number = 1;
  for (std::uint32_t first = 0; first < records; first += kPerBlock, ++number) {
    const std::uint32_t n = std::min<std::uint32_t>(kPerBlock, records - first);
    blocks.push_back(recordBlock(low(number), recordBytes(first, n)));
    sum = static_cast<std::uint16_t>(sum + checkByte(blocks.back()));
  }
  blocks.push_back(endBlock(low(number), sum));
}

Bytes BlockTerminal::payload() const {
  Bytes all;
  for (std::size_t i = 1; i + 1 < blocks.size(); ++i) {
    all.insert(all.end(), blocks[i].begin() + 5, blocks[i].end() - 1);
  }
  return all;
}

void BlockTerminal::sendCurrent(const Reply& reply) {
  if (current_ >= blocks.size()) return;
  if (current_ == closeAt && close) {
    close();
    done_ = true;
    return;
  }
  Bytes bytes = blocks[current_];
  Millis wait = delay;
  if (fault) fault(current_, sendings_[current_], bytes, wait);
  ++sendings_[current_];
  reply(bytes, wait, perByte);
}

void BlockTerminal::onHost(const Bytes& bytes, const Reply& reply) {
  for (std::uint8_t b : bytes) {
    hostBytes.push_back(b);
    if (done_) continue;
    if (!started_) {
      started_ = b == 0x15;
      if (started_) sendCurrent(reply);
      continue;
    }
    const bool atEnd = current_ + 1 == blocks.size();
    if (b == 0x06) {
      if (repeatAfterAck.erase(current_) != 0) {
        sendCurrent(reply);
      } else if (!atEnd) {
        ++current_;
        sendCurrent(reply);
      }
    } else if (b == 0x15 && atEnd && current_ > 0) {
      done_ = true;
      if (!afterClose.empty()) reply(afterClose, delay, 0);
    } else if (b == 0x15 || b == 0xF9) {
      sendCurrent(reply);
    } else if (b == 0x18) {
      done_ = true;
    }
  }
}

std::shared_ptr<PreambleResponder> serialTerminal(const std::shared_ptr<BlockTerminal>& terminal,
                                                  std::uint8_t address) {
  auto responder = std::make_shared<PreambleResponder>(address, std::set<int>{57600});
  responder->onCommand = [](DeviceLink&, std::uint8_t) {};
  responder->onContinuation = [terminal](DeviceLink& link, const Bytes& bytes) {
    terminal->onHost(bytes, [&link](const Bytes& b, Millis d, Millis p) { link.reply(b, d, p); });
  };
  return responder;
}

void LanTerminal::onHostBytes(PeerLink& link, const Bytes& bytes) {
  std::size_t used = 0;
  while (preamble.size() < 14 && used < bytes.size()) preamble.push_back(bytes[used++]);
  if (used > 0 && preamble.size() == 14) {
    commands.push_back(preamble[12]);
    if (ack) link.reply({*ack}, 1);
    if (preamble[12] != 0x01 || ack != 0x06) return;
  }
  if (used == bytes.size() || preamble.size() < 14) return;
  terminal_->close = [&link] { link.closeConnection(); };
  terminal_->onHost(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(used), bytes.end()),
                    [&link](const Bytes& b, Millis d, Millis p) { link.reply(b, d, p); });
}

}  // namespace movar::fake
