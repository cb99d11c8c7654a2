#include "terminal.h"

#include <cstring>

namespace movar::sim {

namespace {
constexpr char kHeader[] = "NORVALECJS";
constexpr std::size_t kPreambleSize = 14;
constexpr std::uint8_t kLanAddress = 0xFA;

// The terminal's own slowness on top of whatever the transport does: a later start, and bytes
// handed over one at a time with a gap before each.
class ShapedLink final : public HostLink {
 public:
  ShapedLink(HostLink& inner, Millis extra, Millis gap) : inner_(inner), extra_(extra), gap_(gap) {}
  void send(const Bytes& bytes, Millis delay) override {
    delay += extra_;
    if (gap_ == Millis{0}) return inner_.send(bytes, delay);
    for (std::uint8_t b : bytes) {
      inner_.send({b}, delay + gap_);
      delay = Millis{0};
    }
  }
  void closeConnection() override { inner_.closeConnection(); }
  int baud() const override { return inner_.baud(); }

 private:
  HostLink& inner_;
  Millis extra_;
  Millis gap_;
};
}  // namespace

Terminal::Terminal(TerminalConfig config) : config_(std::move(config)) {}

void Terminal::handle(std::uint8_t command, ExchangeFactory factory) {
  std::lock_guard lock(mutex_);
  handlers_[command] = std::move(factory);
}

TerminalConfig Terminal::config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

void Terminal::setConfig(const TerminalConfig& config) {
  std::lock_guard lock(mutex_);
  config_ = config;
}

std::vector<ReceivedChunk> Terminal::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

Bytes Terminal::receivedBytes() const {
  std::lock_guard lock(mutex_);
  Bytes all;
  for (const ReceivedChunk& chunk : received_) all.insert(all.end(), chunk.bytes.begin(), chunk.bytes.end());
  return all;
}

std::vector<std::uint8_t> Terminal::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

void Terminal::clearLog() {
  std::lock_guard lock(mutex_);
  received_.clear();
  commands_.clear();
}

void Terminal::Session::feed(HostLink& link, const std::uint8_t* data, std::size_t n) {
  std::lock_guard lock(terminal_.mutex_);
  const double at =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - terminal_.born_).count();
  terminal_.received_.push_back({at, link.baud(), Bytes(data, data + n)});
  const TerminalConfig& config = terminal_.config_;
  ShapedLink acks(link, Millis{0}, config.byteGap);
  ShapedLink answers(link, config.answerDelay, config.byteGap);
  if (exchange_) {
    deliver(acks, answers, data, n);
    return;
  }
  // A serial terminal set to another speed sees only noise.
  if (link.baud() != 0 && config.speeds.count(link.baud()) == 0) return;
  pending_.insert(pending_.end(), data, data + n);
  scan(acks, answers);
}

void Terminal::Session::scan(HostLink& link, HostLink& answers) {
  while (pending_.size() >= kPreambleSize && !exchange_) {
    if (std::memcmp(pending_.data(), kHeader, 10) != 0) {
      pending_.erase(pending_.begin());
      continue;
    }
    const std::uint8_t address = pending_[10];
    const std::uint8_t command = pending_[12];
    const bool intact = pending_[11] == 0xFF - address && pending_[13] == 0xFF - command;
    pending_.erase(pending_.begin(), pending_.begin() + kPreambleSize);
    const TerminalConfig& config = terminal_.config_;
    const bool forUs = address == config.address || (link.baud() == 0 && address == kLanAddress);
    if (!intact || !forUs) continue;
    terminal_.commands_.push_back(command);
    if (!config.ack) continue;
    link.send({*config.ack}, config.ackDelay);
    if (*config.ack != 0x06) continue;
    const auto handler = terminal_.handlers_.find(command);
    if (handler == terminal_.handlers_.end()) continue;  // the acknowledgement is the whole answer
    exchange_ = handler->second(terminal_, command);
    if (!exchange_) continue;
    exchange_->start(answers);
    // Bytes that came with the preamble belong to the exchange.
    if (!pending_.empty()) {
      Bytes rest;
      rest.swap(pending_);
      deliver(link, answers, rest.data(), rest.size());
    }
  }
}

void Terminal::Session::deliver(HostLink& link, HostLink& answers, const std::uint8_t* data,
                                std::size_t n) {
  if (exchange_->onBytes(answers, data, n)) return;
  const Bytes rest = exchange_->leftover();
  exchange_.reset();
  if (rest.empty()) return;
  pending_.insert(pending_.end(), rest.begin(), rest.end());
  scan(link, answers);
}

}  // namespace movar::sim
