#include "backup_device.h"

#include <algorithm>

namespace movar::sim {

namespace {

constexpr std::size_t kHead = 17, kOverhead = 18;
constexpr std::size_t kLongestFrame = 4096;  // longer announcements are noise

struct Head {
  std::uint16_t length = 0, sequence = 0;
  std::uint8_t more = 0;
  std::uint8_t flags = 0;
};

std::uint16_t word(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

Bytes frame(std::uint16_t sequence, std::uint8_t more, std::uint8_t flags,
            std::uint16_t acknowledged, const Bytes& payload = {}, bool damaged = false) {
  const auto n = static_cast<std::uint16_t>(payload.size());
  auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
  auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
  Bytes f{0x02, 0x14, 0x00, 0x10, hi(n), lo(n), hi(sequence), lo(sequence), more, 0, 0, 0xFC, 0x00,
          flags, hi(acknowledged), lo(acknowledged), 0};
  f.insert(f.end(), payload.begin(), payload.end());
  f.push_back(0x03);
  unsigned sum = 0;
  for (std::uint8_t b : f) sum += b;
  f[16] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF) + (damaged ? 1 : 0));
  return f;
}

bool sumsToZero(const Bytes& f) {
  unsigned sum = 0;
  for (std::uint8_t b : f) sum += b;
  return (sum & 0xFF) == 0;
}

bool backupLine(const HostLink& link) { return link.baud() == 19200 && link.stopBits() == 2; }

}  // namespace

// One session on the line: whole frames from the host, each answered by the step it belongs to.
class BackupExchange final : public Exchange {
 public:
  explicit BackupExchange(BackupDevice& device) : device_(device) {}

  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    if (!backupLine(link)) {
      rest_.assign(data, data + n);
      return false;
    }
    buffer_.insert(buffer_.end(), data, data + n);
    for (;;) {
      while (!buffer_.empty() && buffer_[0] != 0x02) buffer_.erase(buffer_.begin());
      if (buffer_.size() < 6) break;
      const std::size_t size = word(buffer_, 4) + kOverhead;
      if (size > kLongestFrame) {
        buffer_.erase(buffer_.begin());
        continue;
      }
      if (buffer_.size() < size) break;
      const Bytes whole(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size));
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size));
      take(link, whole);
    }
    return true;
  }

  Bytes leftover() override { return rest_; }

 private:
  void take(HostLink& link, const Bytes& f) {
    std::lock_guard lock(device_.mutex_);
    BackupDevice::State& state = device_.state_;
    const BackupDevice::Script& script = device_.script_;
    state.hostFrames.push_back(f);
    if (!sumsToZero(f)) {
      ++state.damagedFromHost;
      return;
    }
    const Head head{word(f, 4), word(f, 6), f[8], f[13]};
    const Bytes payload(f.begin() + kHead, f.end() - 1);
    if (head.flags & 0x01) {
      awaitingConfirmation_ = (script.openFlags & 0x05) == 0x05;
      link.send(frame(script.openSequence, 0, script.openFlags, 0x0001), script.openingDelay);
    } else if (head.flags & 0x04) {
      if (awaitingConfirmation_) {
        awaitingConfirmation_ = false;
        state.confirmed = true;
      } else if (serving_) {
        serveNext(link, script);
      } else if (resultSent_) {
        state.resultAcknowledged = true;
        resultSent_ = false;
      }
    } else if (head.sequence == 0 && payload == Bytes{0x01, 0x34, 0x02}) {
      if (!script.answerReadRequest) return;
      link.send(frame(0x0001, 0, 0x04, 3), script.readRequestDelay);
      serving_ = true;
      served_ = 0;
      serveNext(link, script);
    } else {
      takeData(link, head, payload, state, script);
    }
  }

  // The next frame of the backup data (at least one frame, if empty).
  void serveNext(HostLink& link, const BackupDevice::Script& script) {
    const std::size_t size = std::max<std::size_t>(script.framePayload, 1);
    const std::size_t frames = std::max<std::size_t>(1, (script.data.size() + size - 1) / size);
    if (served_ >= frames) {
      serving_ = false;
      return;
    }
    const std::size_t index = served_++;
    const std::size_t from = index * size, to = std::min(script.data.size(), from + size);
    const Bytes payload(script.data.begin() + static_cast<std::ptrdiff_t>(std::min(from, to)),
                        script.data.begin() + static_cast<std::ptrdiff_t>(to));
    const std::uint8_t more = served_ < frames ? 1 : 0;
    if (script.stallAt == index) return;
    const std::uint16_t sequence =
        script.sequenceChangeAt && index >= *script.sequenceChangeAt ? 0x0002 : 0x0001;
    if (script.damaged.count(index)) link.send(frame(sequence, more, 0, 0, payload, true));
    link.send(frame(sequence, more, 0, 0, payload));
  }

  void takeData(HostLink& link, const Head& head, const Bytes& payload, BackupDevice::State& state,
                const BackupDevice::Script& script) {
    if (script.refuse.count(arrivals_++)) {
      ++state.refused;
      link.send(frame(0x0001, 0, 0x00, 0));
      return;
    }
    state.stored.insert(state.stored.end(), payload.begin(), payload.end());
    link.send(frame(0x0001, 0, 0x04, static_cast<std::uint16_t>(head.sequence + head.length)));
    if (head.more == 0) {
      link.send(frame(0x0001, 0, 0x00, 0, script.result));
      resultSent_ = true;
    }
  }

  BackupDevice& device_;
  Bytes buffer_;
  Bytes rest_;
  bool awaitingConfirmation_ = false;
  bool serving_ = false;
  bool resultSent_ = false;
  std::size_t served_ = 0;
  int arrivals_ = 0;
};

void BackupDevice::script(Script script) {
  std::lock_guard lock(mutex_);
  script_ = std::move(script);
}

BackupDevice::State BackupDevice::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void installBackupDevice(Terminal& terminal) {
  terminal.claimLine([](Terminal& t, const HostLink& link, const std::uint8_t* data,
                           std::size_t n) -> std::unique_ptr<Exchange> {
    if (n == 0 || data[0] != 0x02 || !backupLine(link)) return nullptr;
    return std::make_unique<BackupExchange>(t.part<BackupDevice>());
  });
}

}  // namespace movar::sim
