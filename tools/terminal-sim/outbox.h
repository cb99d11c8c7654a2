// Bytes waiting to go to the host, each with the time it may leave, and the watch that tells when
// a line has gone quiet.
#pragma once

#include <chrono>
#include <deque>
#include <optional>

#include "terminal.h"

namespace movar::sim {

using SteadyTime = std::chrono::steady_clock::time_point;

class Outbox {
 public:
  // `byteTime` paces bytes one after another (zero: as fast as the transport takes them).
  void add(const Bytes& bytes, Millis delay, std::chrono::nanoseconds byteTime) {
    SteadyTime at = std::max(std::chrono::steady_clock::now(), last_) + delay;
    for (std::uint8_t b : bytes) {
      at += byteTime;
      queue_.push_back({at, b});
    }
    if (!queue_.empty()) last_ = queue_.back().at;
  }
  // Nothing leaves before `t` (the host's own bytes still crossing a paced line).
  void holdUntil(SteadyTime t) { last_ = std::max(last_, t); }
  bool empty() const { return queue_.empty(); }
  SteadyTime nextAt() const { return queue_.front().at; }
  // Bytes due now, in order.
  Bytes due() {
    Bytes out;
    const SteadyTime now = std::chrono::steady_clock::now();
    while (!queue_.empty() && queue_.front().at <= now) {
      out.push_back(queue_.front().value);
      queue_.pop_front();
    }
    return out;
  }
  void putBack(const Bytes& bytes, std::size_t from) {
    const SteadyTime now = std::chrono::steady_clock::now();
    for (std::size_t i = bytes.size(); i > from; --i) queue_.push_front({now, bytes[i - 1]});
  }

 private:
  struct Timed {
    SteadyTime at;
    std::uint8_t value;
  };
  std::deque<Timed> queue_;
  SteadyTime last_{};
};

// When a line has gone quiet both ways: bytes from the host, and bytes of the terminal's still
// waiting to leave, are traffic.
class LineWatch {
 public:
  void traffic() {
    last_ = std::chrono::steady_clock::now();
    reported_ = false;
  }
  // True once per quiet spell, when it has lasted kLineSilenceReset.
  bool fellSilent() {
    if (reported_ || std::chrono::steady_clock::now() - last_ < kLineSilenceReset) return false;
    reported_ = true;
    return true;
  }
  // When fellSilent() turns true if nothing goes either way meanwhile; none once it has.
  std::optional<SteadyTime> silentAt() const {
    if (reported_) return std::nullopt;
    return last_ + kLineSilenceReset;
  }

 private:
  SteadyTime last_ = std::chrono::steady_clock::now();
  bool reported_ = false;
};

}  // namespace movar::sim
