#include "live_records.h"

#include <algorithm>

namespace movar::sim {

class LiveExchange final : public Exchange {
 public:
  explicit LiveExchange(LiveRecords& live) : live_(live) {}

  void start(HostLink& link) override {
    std::lock_guard lock(live_.mutex_);
    if (live_.closeAfterAck_) link.closeConnection();
  }

  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t byte = data[i];
      if (state_ == State::AwaitStart) {
        if (byte != 0x15) return endWith(data + i, n - i);
        sendFrame(link);
        if (state_ == State::Done) return endWith(data + i + 1, n - i - 1);
        continue;
      }
      // State::AwaitAnswer
      if (byte == 0x06) {
        std::lock_guard lock(live_.mutex_);
        if (!live_.queue_.empty()) live_.queue_.pop_front();
        if (live_.closeWhenTaken_) link.closeConnection();
        return endWith(data + i + 1, n - i - 1);
      }
      // 0x15 (bad check byte) or anything else: the record stays queued.
      return endWith(data + (byte == 0x15 ? i + 1 : i), n - i - (byte == 0x15 ? 1 : 0));
    }
    return true;
  }

  Bytes leftover() override { return rest_; }

 private:
  enum class State { AwaitStart, AwaitAnswer, Done };

  void sendFrame(HostLink& link) {
    std::lock_guard lock(live_.mutex_);
    if (live_.queue_.empty()) {
      link.send({0xFF, 0xFF});
      state_ = State::Done;
      return;
    }
    Bytes frame{0x01, 0x00, 0x00, 0x00, 0x00};
    const Bytes& record = live_.queue_.front();
    frame.insert(frame.end(), record.begin(), record.end());
    unsigned sum = 0;
    for (std::size_t i = 5; i <= 10; ++i) sum += frame[i];
    frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    if (live_.damage_ > 0) {
      --live_.damage_;
      frame[11] = static_cast<std::uint8_t>(frame[11] + 1);
    }
    const std::size_t keep = std::min(live_.keep_.value_or(frame.size()), frame.size());
    const Bytes rest(frame.begin() + static_cast<std::ptrdiff_t>(keep), frame.end());
    frame.resize(keep);
    if (!frame.empty()) link.send(frame);
    if (!rest.empty() && live_.restAfter_) link.send(rest, *live_.restAfter_);
    live_.keep_.reset();
    state_ = State::AwaitAnswer;
  }

  bool endWith(const std::uint8_t* data, std::size_t n) {
    rest_.assign(data, data + n);
    state_ = State::Done;
    return false;
  }

  LiveRecords& live_;
  State state_ = State::AwaitStart;
  Bytes rest_;
};

std::unique_ptr<Exchange> livePoll(Terminal& terminal) {
  return std::make_unique<LiveExchange>(terminal.part<LiveRecords>());
}

void installLiveRecords(Terminal& terminal) {
  for (std::uint8_t code : {std::uint8_t{0x16}, std::uint8_t{0x17}}) {
    terminal.handle(code, [](Terminal& t, std::uint8_t) { return livePoll(t); });
  }
}

void LiveRecords::push(const Bytes& record) {
  std::lock_guard lock(mutex_);
  queue_.push_back(record);
}

std::size_t LiveRecords::waiting() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void LiveRecords::damageNextFrames(int count) {
  std::lock_guard lock(mutex_);
  damage_ = count;
}

void LiveRecords::holdBackNextFrame(std::size_t keep, std::optional<Millis> pause) {
  std::lock_guard lock(mutex_);
  keep_ = keep;
  restAfter_ = pause;
}

void LiveRecords::closeWhenTaken(bool close) {
  std::lock_guard lock(mutex_);
  closeWhenTaken_ = close;
}

void LiveRecords::closeAfterAck(bool close) {
  std::lock_guard lock(mutex_);
  closeAfterAck_ = close;
}

}  // namespace movar::sim
