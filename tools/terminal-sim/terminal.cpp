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
  int stopBits() const override { return inner_.stopBits(); }

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

Terminal::ExchangeFactory Terminal::handler(std::uint8_t command) const {
  std::lock_guard lock(mutex_);
  const auto found = handlers_.find(command);
  return found == handlers_.end() ? ExchangeFactory{} : found->second;
}

void Terminal::claimLine(LineClaim claim) {
  std::lock_guard lock(mutex_);
  lineClaims_.push_back(std::move(claim));
}

void Terminal::setFront(std::function<std::unique_ptr<LineFront>(Terminal&)> factory) {
  std::lock_guard lock(mutex_);
  front_ = std::move(factory);
}

void Terminal::onLineSilence(std::function<void()> reset) {
  std::lock_guard lock(mutex_);
  silenceResets_.push_back(std::move(reset));
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

Terminal::Session::Session(Terminal& terminal) : terminal_(terminal) {
  std::lock_guard lock(terminal_.mutex_);
  if (terminal_.front_) front_ = terminal_.front_(terminal_);
}

void Terminal::Session::feed(HostLink& link, const std::uint8_t* data, std::size_t n) {
  std::lock_guard lock(terminal_.mutex_);
  const double at =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - terminal_.born_).count();
  terminal_.received_.push_back({at, link.baud(), Bytes(data, data + n)});
  if (!front_) return take(link, data, n);
  front_->feed(link, data, n, [this](HostLink& l, const std::uint8_t* d, std::size_t k) { take(l, d, k); });
}

void Terminal::Session::lineSilent() {
  std::lock_guard lock(terminal_.mutex_);
  pending_.clear();
  exchange_.reset();
  if (front_) front_->lineSilent();
  for (const auto& reset : terminal_.silenceResets_) reset();
}

void Terminal::Session::take(HostLink& link, const std::uint8_t* data, std::size_t n) {
  const TerminalConfig& config = terminal_.config_;
  // The acknowledgement leaves at once (after ackDelay); a slow terminal's exchange trickles.
  ShapedLink acks(link, Millis{0}, Millis{0});
  ShapedLink answers(link, config.answerDelay, config.byteGap);
  for (std::size_t i = 0; !exchange_ && pending_.empty() && i < terminal_.lineClaims_.size(); ++i) {
    exchange_ = terminal_.lineClaims_[i](terminal_, link, data, n);
    if (exchange_) exchange_->start(answers);
  }
  if (exchange_) {
    deliver(acks, answers, data, n);
    return;
  }
  // A serial terminal set to another speed sees only noise.
  if (link.baud() != 0 && config.speeds.count(link.baud()) == 0) return;
  pending_.insert(pending_.end(), data, data + n);
  scan(acks, answers);
}

namespace {

constexpr std::size_t kWakeUpRun = 40, kRateMessage = kWakeUpRun + 13;

// How many leading bytes follow the wake-up run of a rate-change message (20 x 0x63, 20 x 0x6A).
std::size_t wakeUpBytes(const Bytes& pending) {
  std::size_t n = 0;
  while (n < pending.size() && n < kWakeUpRun && pending[n] == (n < 20 ? 0x63 : 0x6A)) ++n;
  return n;
}

// The simulator's convention: the message's last byte selects the new speed like the host's
// rate codes.
int rateOfCode(std::uint8_t code) {
  static constexpr int kRates[] = {57600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
  return code < 8 ? kRates[code] : 0;
}

}  // namespace

// A rate-change message at the front of the pending bytes: not one, one still arriving, or one
// answered and taken.
Terminal::Session::Rate Terminal::Session::rateChange(HostLink& link) {
  if (link.baud() == 0) return Rate::None;
  const std::size_t run = wakeUpBytes(pending_);
  if (run == 0 || (run < kWakeUpRun && run < pending_.size())) return Rate::None;
  if (pending_.size() < kRateMessage) return Rate::Arriving;
  const int rate = rateOfCode(pending_[kRateMessage - 1]);
  pending_.erase(pending_.begin(), pending_.begin() + kRateMessage);
  const std::optional<std::uint8_t> ack = terminal_.config_.ack;
  if (ack) link.send({*ack}, terminal_.config_.ackDelay);
  if (ack == 0x06 && rate != 0) terminal_.config_.speeds = {rate};
  return Rate::Taken;
}

void Terminal::Session::scan(HostLink& link, HostLink& answers) {
  while (!pending_.empty() && !exchange_) {
    const Rate rate = rateChange(link);
    if (rate == Rate::Arriving) return;
    if (rate == Rate::Taken) continue;
    if (pending_.size() < kPreambleSize) return;
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
