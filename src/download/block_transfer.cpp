#include "download/block_transfer.h"

#include <string>

#include "link/failure.h"

namespace movar::download {

namespace {

constexpr std::uint8_t kEndPattern[] = {0x55, 0xAA};

bool complements(const std::uint8_t* b, std::size_t i) { return b[i + 1] == 0xFF - b[i]; }

// Bytes 1..4: number and length, each followed by its complement.
bool headIntact(const std::uint8_t* b, std::size_t count) {
  return count >= 5 && complements(b, 1) && complements(b, 3);
}

unsigned sumOf(const std::uint8_t* b, std::size_t from, std::size_t to) {
  unsigned sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += b[i];
  return sum & 0xFF;
}

void reject(BlockWire& wire, const Rejection& how) {
  if (how.pauseBefore > 0) wire.pause(how.pauseBefore);
  if (how.discardOnce) wire.discardOnce();
  if (how.flush) wire.flush(*how.flush);
  wire.send(how.answer);
  if (how.pauseAfter > 0) wire.pause(how.pauseAfter);
}

void giveUp(BlockWire& wire, const GiveUp& byte) {
  if (byte) wire.send(*byte);
}

class Transfer {
 public:
  Transfer(const Variant& variant, BlockWire& wire, TransferSink& sink)
      : v_(variant), wire_(wire), sink_(sink) {}

  TransferResult run() {
    if (!header()) return result_;
    if (result_.announced == 0) return succeed();
    if (!records() || result_.stalled) return result_;
    if (!end()) return result_;
    if (v_.lingerWait > 0 && wire_.strayByte(v_.lingerWait)) wire_.pause(v_.lingerPause);
    // Blocks that do not add up to the announced records (more, fewer, a partial record) are
    // kept but are no success: the caller would erase the terminal on the strength of it.
    if (result_.stored != std::uint64_t{result_.announced} * kRecordSize) {
      failed("the blocks held " + std::to_string(result_.stored) + " bytes for " +
             std::to_string(result_.announced) + " announced records");
      return result_;
    }
    return succeed();
  }

 private:
  static std::string recordBlock(std::uint8_t number) {
    return "record block " + std::to_string(number);
  }
  std::string lost(const std::string& block, const Reception& got) const {
    const char* why = got.overdue  ? ": not complete within its time allowance"
                      : got.broken ? ": the connection broke"
                                   : ": no answer within the time limit";
    return block + why + " (" + std::to_string(got.count) + " of " + std::to_string(got.target) +
           " bytes)";
  }
  Reception receive(std::size_t target, Millis limit, Adjust adjust) {
    return wire_.receive(target, limit, adjust, v_.microsPerByte);
  }
  static bool failed(std::string text) {
    recordFailure(FailureKind::Transfer, std::move(text));
    return false;
  }

  TransferResult succeed() {
    result_.success = true;
    return result_;
  }

  bool header() {
    for (int rejected = 0;;) {
      const Reception got = receive(kHeaderBlockSize, v_.header.limit, Adjust::None);
      if (got.broken || got.silent) return failed(lost("header block", got));
      const std::uint8_t* h = wire_.block();
      const bool valid = headIntact(h, got.count) && h[1] == 0 &&
                         h[7] == ((h[5] + h[6]) & 0xFF) &&
                         (!v_.header.requiredKind || h[3] == *v_.header.requiredKind);
      if (!valid) {
        if (rejected >= v_.header.retries) {
          return giveUp(wire_, v_.header.giveUp), failed("header block damaged");
        }
        ++rejected;
        reject(wire_, v_.header.rejection);
        continue;
      }
      result_.announced = static_cast<std::uint32_t>(h[5] * 256 + h[6]);
      if (v_.header.kind3AddsPage && h[3] == 3) result_.announced += 65536;
      wire_.send(link::control::Ack);
      return true;
    }
  }

  bool records() {
    const auto& rv = v_.records;
    const std::uint64_t announcedBytes = std::uint64_t{result_.announced} * kRecordSize;
    std::uint8_t expected = 1;
    int rejected = 0;  // short or damaged receptions since the last intact block
    while (result_.stored < announcedBytes) {
      const Reception got = receive(rv.firstTarget, rv.limit, rv.adjust);
      // A trickle is no stall to wait out: the terminal is not sending a block.
      if (got.broken || got.overdue) return failed(lost(recordBlock(expected), got));
      if (got.silent) {
        if (!rv.silenceStalls) return failed(lost(recordBlock(expected), got));
        result_.stalled = true;
        failed(lost(recordBlock(expected), got));
      }
      // The terminal sent beyond the block.
      if (got.count > got.target) return failed(recordBlock(expected) + ": longer than announced");
      const std::uint8_t* b = wire_.block();
      const std::size_t g = got.count;
      if (rv.headIsFinal && (!headIntact(b, g) || b[1] != expected)) {
        return failed(recordBlock(expected) + ": number or length damaged");
      }
      if (rv.shortRetries >= 0 && g <= 7) {
        if (rejected >= rv.shortRetries) {
          return giveUp(wire_, rv.giveUp), failed(recordBlock(expected) + ": too short");
        }
        ++rejected;
        reject(wire_, rv.shortRejection);
        continue;
      }
      const unsigned check = g >= kBlockOverhead ? sumOf(b, 5, g - 1) : 0;
      // Only the whole block its length byte announces: a block cut short by silence could
      // still add up, and would leave a partial record in the file.
      const bool intact = g >= kBlockOverhead && headIntact(b, g) && g == b[3] + kBlockOverhead &&
                          b[g - 1] == check;
      if (!intact) {
        if (rejected >= rv.damagedRetries) {
          return giveUp(wire_, rv.giveUp), failed(recordBlock(expected) + ": check sum wrong");
        }
        ++rejected;
        reject(wire_, rv.damagedRejection);
        continue;
      }
      rejected = 0;
      if (b[1] == expected) {
        const std::size_t payload = g - kBlockOverhead;
        // A record lost on the PC must not be reported as received (the terminal is erased next).
        // The sink tells why.
        if (!sink_.store(b + 5, payload)) return giveUp(wire_, rv.giveUp), false;
        transferSum_ = static_cast<std::uint16_t>(transferSum_ + check);
        wire_.send(link::control::Ack);
        ++expected;
        result_.stored += payload;
      } else if (b[1] == static_cast<std::uint8_t>(expected - 1)) {
        if (rv.repeatPause > 0) wire_.pause(rv.repeatPause);
        wire_.send(rv.repeatAnswer);
      } else {
        wire_.send(rv.wrongAnswer);
      }
      sink_.progress(result_.stored, announcedBytes);
    }
    expected_ = expected;
    return true;
  }

  bool end() {
    const auto& ev = v_.end;
    for (int rejected = 0;;) {
      const Reception got = receive(ev.firstTarget, ev.limit, ev.adjust);
      if (got.broken) return failed(lost("end block", got));
      const std::uint8_t* b = wire_.block();
      const std::size_t g = got.count < got.target ? got.count : got.target;  // the first frame
      if (ev.headIsFinal && (!headIntact(b, g) || b[1] != expected_)) {
        return failed(got.silent ? lost("end block", got) : "end block: number or length damaged");
      }
      bool valid = g >= kEndBlockSize && !got.silent && headIntact(b, g) && b[1] == expected_ &&
                   b[g - 1] == sumOf(b, 5, g - 1);
      for (std::size_t i = 7; valid && i < 17; ++i) valid = b[i] == kEndPattern[(i - 7) % 2];
      if (!valid) {
        if (rejected >= ev.retries) {
          return giveUp(wire_, ev.giveUp),
                 failed(got.silent ? lost("end block", got) : "end block damaged");
        }
        ++rejected;
        reject(wire_, ev.rejection);
        continue;
      }
      const bool matches = b[5] * 256 + b[6] == transferSum_;
      wire_.send(matches ? ev.sumMatches : ev.sumDiffers);
      if (!matches) {
        failed("end block: transfer sum " + std::to_string(b[5] * 256 + b[6]) +
               ", the blocks added up to " + std::to_string(transferSum_));
      }
      return matches;
    }
  }

  const Variant& v_;
  BlockWire& wire_;
  TransferSink& sink_;
  TransferResult result_;
  std::uint8_t expected_ = 1;
  std::uint16_t transferSum_ = 0;
};

}  // namespace

std::size_t adjustedTarget(Adjust rule, const std::uint8_t* block, std::size_t count,
                           std::size_t target) {
  if (rule == Adjust::None || !headIntact(block, count)) return target;
  if (rule == Adjust::UnlessFull && block[3] == kFullPayload) return target;
  return block[3] + kBlockOverhead;
}

TransferResult runBlockTransfer(const Variant& variant, BlockWire& wire, TransferSink& sink) {
  return Transfer(variant, wire, sink).run();
}

}  // namespace movar::download
