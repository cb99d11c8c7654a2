#include "record_memory.h"

#include <algorithm>
#include <map>
#include <utility>

namespace movar::sim {

namespace {

constexpr std::uint8_t kAck = 0x06, kNak = 0x15, kCancel = 0x18, kResend = 0xF9, kStart = 0x01;
constexpr std::uint8_t kPreambleStart = 'N';

std::uint8_t low(unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); }

Bytes headerBlock(std::size_t records) {
  const std::uint8_t kind = records > 0xFFFF ? 3 : 2;
  const std::size_t count = records > 0xFFFF ? records - 0x10000 : records;
  const std::uint8_t high = low(static_cast<unsigned>(count >> 8));
  const std::uint8_t lowByte = low(static_cast<unsigned>(count));
  return {kStart, 0x00, 0xFF, kind, low(0xFFu - kind), high, lowByte, low(high + lowByte)};
}

Bytes recordBlock(std::uint8_t number, const std::uint8_t* payload, std::size_t n) {
  const std::uint8_t length = low(static_cast<unsigned>(n));
  Bytes block{kStart, number, low(0xFFu - number), length, low(0xFFu - length)};
  block.insert(block.end(), payload, payload + n);
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += payload[i];
  block.push_back(low(sum));
  return block;
}

Bytes endBlock(std::uint8_t number, std::uint16_t transferSum) {
  Bytes block{kStart, number, low(0xFFu - number), 12, 0xF3, low(transferSum >> 8u), low(transferSum)};
  for (int i = 0; i < 5; ++i) block.insert(block.end(), {0x55, 0xAA});
  unsigned sum = 0;
  for (std::size_t i = 5; i < 17; ++i) sum += block[i];
  block.push_back(low(sum));
  return block;
}

class DownloadExchange final : public Exchange {
 public:
  DownloadExchange(RecordMemory& memory, RecordMemory::Plan plan)
      : memory_(memory), faults_(std::move(plan.faults)), stray_(std::move(plan.strayAfterClose)),
        strayDelay_(plan.strayDelay) {
    const std::size_t records = plan.records.size() / 6;
    blocks_.push_back(headerBlock(records));
    if (records == 0) return;
    std::uint16_t sum = 0;
    unsigned number = 1;
    const std::size_t perBlock = RecordMemory::kRecordsPerBlock * 6;
    for (std::size_t at = 0; at < plan.records.size(); at += perBlock, ++number) {
      const std::size_t n = std::min(perBlock, plan.records.size() - at);
      blocks_.push_back(recordBlock(low(number), plan.records.data() + at, n));
      sum = static_cast<std::uint16_t>(sum + blocks_.back().back());
    }
    blocks_.push_back(endBlock(low(number), sum));
  }

  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) {
      // A preamble's first byte is a host that gave the transfer up and starts over: the transfer
      // ends there, and the preamble is answered as on a quiet line. Other stray bytes (noise, a
      // flush) the transfer goes on ignoring.
      if (data[i] == kPreambleStart) {
        rest_.assign(data + i, data + n);
        return false;
      }
      if (!answer(link, data[i])) return false;
    }
    return true;
  }

  Bytes leftover() override { return rest_; }

 private:
  // False when the transfer is over for the terminal.
  bool answer(HostLink& link, std::uint8_t byte) {
    if (!started_) {
      if (byte != kNak) return true;  // waits for the start request
      started_ = true;
      return sendCurrent(link);
    }
    const bool atEnd = current_ + 1 == blocks_.size();
    // The end block is closed with 0x15 on a direct line and over TCP, with 0x06 through a modem;
    // a header announcing no records by its acknowledgement.
    const bool closing = atEnd && (current_ > 0 ? byte == kNak || byte == kAck : byte == kAck);
    if (byte == kAck && fault(BlockFault::Kind::RepeatAfterAck, sendings_[current_] - 1)) {
      repeating_ = true;
      return sendCurrent(link);
    }
    // A block sent again for fear its acknowledgement was lost, and refused: the host has it.
    const bool hostHasIt = std::exchange(repeating_, false) && byte == kNak && !atEnd;
    if (closing) {
      memory_.served();
      if (!stray_.empty()) link.send(stray_, strayDelay_);
      return false;
    }
    if (byte == kAck || hostHasIt) {
      if (atEnd) return true;
      ++current_;
      return sendCurrent(link);
    }
    if (byte == kNak || byte == kResend) return sendCurrent(link);
    return byte != kCancel;
  }

  const BlockFault* fault(BlockFault::Kind kind, int sending) const {
    for (const BlockFault& f : faults_) {
      if (f.block == current_ && f.kind == kind && sending >= f.fromSending &&
          sending < f.fromSending + f.times) {
        return &f;
      }
    }
    return nullptr;
  }

  bool sendCurrent(HostLink& link) {
    using Kind = BlockFault::Kind;
    const int sending = sendings_[current_]++;
    auto bent = [&](Kind kind) { return fault(kind, sending); };
    if (bent(Kind::Silence)) return false;
    if (bent(Kind::CloseConnection)) {
      link.closeConnection();
      return false;
    }
    Bytes bytes = blocks_[current_];
    const bool isEnd = current_ + 1 == blocks_.size() && current_ > 0;
    if (const BlockFault* f = bent(Kind::LongPayload); f && current_ > 0 && !isEnd) {
      Bytes payload(bytes.begin() + 5, bytes.end() - 1);
      // Zeros leave the check byte and with it the end block's transfer sum as they were.
      payload.insert(payload.end(), static_cast<std::size_t>(f->extra), 0x00);
      bytes = recordBlock(bytes[1], payload.data(), payload.size());
    }
    if (isEnd && bent(Kind::WrongSum)) {
      bytes = endBlock(bytes[1], static_cast<std::uint16_t>(bytes[5] * 256 + bytes[6] + 1));
    }
    if (bent(Kind::DamagedCheck)) bytes.back() ^= 0xFF;
    if (bent(Kind::WrongNumber)) {
      bytes[1] = low(bytes[1] + 1u);
      bytes[2] = low(0xFFu - bytes[1]);
    }
    if (const BlockFault* f = bent(Kind::BentByte); f && f->at < bytes.size()) bytes[f->at] ^= f->mask;
    if (const BlockFault* f = bent(Kind::BentButChecked); f && f->at + 1 < bytes.size()) {
      bytes[f->at] ^= f->mask;
      // Every block's check byte is the sum of the bytes from offset 5 up to it.
      unsigned sum = 0;
      for (std::size_t i = 5; i + 1 < bytes.size(); ++i) sum += bytes[i];
      bytes.back() = low(sum);
    }
    if (const BlockFault* f = bent(Kind::ExtraBytes)) {
      bytes.insert(bytes.end(), static_cast<std::size_t>(f->extra), 0x00);
    }
    if (const BlockFault* f = bent(Kind::Cut)) bytes.resize(std::min(f->keep, bytes.size()));
    if (const BlockFault* f = bent(Kind::Trickle)) {
      for (std::uint8_t b : bytes) link.send({b}, f->stall);
      return true;
    }
    const BlockFault* stall = bent(Kind::Stall);
    link.send(bytes, stall ? stall->stall : Millis{0});
    return true;
  }

  RecordMemory& memory_;
  std::vector<BlockFault> faults_;
  Bytes stray_;
  Millis strayDelay_;
  std::vector<Bytes> blocks_;
  std::map<std::size_t, int> sendings_;  // per block
  std::size_t current_ = 0;
  bool started_ = false;
  bool repeating_ = false;
  Bytes rest_;
};

}  // namespace

Bytes RecordMemory::record(std::uint32_t i) {
  return {low(i >> 8), low(i), low(0x90u | (1 + i % 12)), low(1 + i % 28), low(i % 24), low(i % 60)};
}

Bytes RecordMemory::records(std::uint32_t first, std::uint32_t count) {
  Bytes out;
  out.reserve(std::size_t{count} * 6);
  for (std::uint32_t i = first; i < first + count; ++i) {
    const Bytes r = record(i);
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

void RecordMemory::fill(std::uint32_t count) {
  Bytes all = records(0, count);
  std::lock_guard lock(mutex_);
  records_ = std::move(all);
  planned_.reset();
}

void RecordMemory::load(Bytes records) {
  std::lock_guard lock(mutex_);
  records_ = std::move(records);
  planned_.reset();
}

std::uint32_t RecordMemory::count() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::uint32_t>(records_.size() / 6);
}

Bytes RecordMemory::contents() const {
  std::lock_guard lock(mutex_);
  return records_;
}

void RecordMemory::append(const Bytes& record) {
  std::lock_guard lock(mutex_);
  records_.insert(records_.end(), record.begin(), record.end());
}

void RecordMemory::erase() {
  std::lock_guard lock(mutex_);
  // A punch between the download and its erase was never sent: erasing it would lose it.
  const std::size_t n = std::min(planned_.value_or(records_.size()), records_.size());
  erased_.assign(records_.begin(), records_.begin() + static_cast<std::ptrdiff_t>(n));
  records_.erase(records_.begin(), records_.begin() + static_cast<std::ptrdiff_t>(n));
  planned_.reset();
  ++erasures_;
}

void RecordMemory::restore() {
  std::lock_guard lock(mutex_);
  records_.insert(records_.end(), erased_.begin(), erased_.end());
  erased_.clear();
  ++restores_;
}

void RecordMemory::script(std::vector<BlockFault> faults) {
  std::lock_guard lock(mutex_);
  faults_ = std::move(faults);
}

void RecordMemory::strayAfterClose(Bytes bytes, Millis delay) {
  std::lock_guard lock(mutex_);
  stray_ = std::move(bytes);
  strayDelay_ = delay;
}

int RecordMemory::erasures() const {
  std::lock_guard lock(mutex_);
  return erasures_;
}

int RecordMemory::restores() const {
  std::lock_guard lock(mutex_);
  return restores_;
}

int RecordMemory::downloadsServed() const {
  std::lock_guard lock(mutex_);
  return served_;
}

RecordMemory::Plan RecordMemory::plan() const {
  std::lock_guard lock(mutex_);
  planned_ = records_.size();
  return {records_, faults_, stray_, strayDelay_};
}

void RecordMemory::served() {
  std::lock_guard lock(mutex_);
  ++served_;
}

void installRecordMemory(Terminal& terminal) {
  RecordMemory& memory = terminal.part<RecordMemory>();
  terminal.handle(0x01, [&memory](Terminal&, std::uint8_t) -> std::unique_ptr<Exchange> {
    return std::make_unique<DownloadExchange>(memory, memory.plan());
  });
  // Erase and restore are done by the acknowledgement alone.
  terminal.handle(0x0D, [&memory](Terminal&, std::uint8_t) -> std::unique_ptr<Exchange> {
    memory.erase();
    return nullptr;
  });
  for (std::uint8_t code : {std::uint8_t{0x0C}, std::uint8_t{0x0F}}) {
    terminal.handle(code, [&memory](Terminal&, std::uint8_t) -> std::unique_ptr<Exchange> {
      memory.restore();
      return nullptr;
    });
  }
}

}  // namespace movar::sim
