// The link variants of the block transfer, as data.
#include "download/block_transfer.h"
#include "link/net_link.h"

namespace movar::download {

namespace {

using link::control::Cancel;
using link::control::Nak;
using link::control::Resend;

// A refused header drains the line in 40 ms + 10 ms rounds; a refused block in 10 ms rounds.
constexpr Flush kLongFlush{.settle = 40, .readAfterSettle = true, .quiet = 10};
constexpr Flush kShortFlush{.quiet = 10};

// Ten bits a byte on an asynchronous line.
constexpr std::int64_t kMicrosPerByteAt19200 = 10'000'000 / 19'200 + 1;
constexpr std::int64_t kMicrosPerByteAt1200 = 10'000'000 / 1'200 + 1;

Variant makeSerial() {
  Variant v;
  v.header.limit = 10'000;
  v.header.retries = 15;
  v.header.rejection = {.flush = kLongFlush, .answer = Resend, .pauseAfter = 10};
  v.header.giveUp = Cancel;
  v.records.firstTarget = kFullPayload + kBlockOverhead;
  v.records.adjust = Adjust::UnlessFull;
  v.records.limit = 2'000;
  v.records.silenceStalls = true;
  v.records.shortRetries = 30;
  v.records.shortRejection = {.flush = kShortFlush, .answer = Resend, .pauseAfter = 10};
  v.records.damagedRetries = 15;
  v.records.damagedRejection = {
      .pauseBefore = 40, .discardOnce = true, .flush = kShortFlush, .answer = Resend, .pauseAfter = 10};
  v.records.giveUp = Cancel;
  v.end.firstTarget = kEndBlockSize;
  v.end.limit = 2'000;
  v.end.giveUp = Cancel;
  v.lingerWait = 1'000;
  v.lingerPause = 16'000;
  v.microsPerByte = 2 * kMicrosPerByteAt19200;
  return v;
}

// The serial transfer bent by what a dial-up line's terminal does: kind 2 headers only, blocks
// read from their first 6 bytes, a repeated block refused, damaged end blocks asked for again, and
// the last word an acknowledgement.
Variant makeModem() {
  Variant v = makeSerial();
  v.header.requiredKind = 2;
  v.header.kind3AddsPage = false;
  v.records.firstTarget = kBlockOverhead;
  v.records.adjust = Adjust::Always;
  v.records.repeatAnswer = Nak;
  v.records.repeatPause = 1;
  v.end.retries = 15;
  v.end.rejection = v.header.rejection;
  v.end.sumMatches = link::control::Ack;
  v.lingerWait = 0;
  v.lingerPause = 0;
  v.microsPerByte = 2 * kMicrosPerByteAt1200;  // a dial-up line may be that slow
  return v;
}

// One attempt, no flushing; a refused block is asked for again with 0x15.
Variant makeLan() {
  Variant v;
  v.header.limit = link::kDefaultReceiveLimit;
  v.records.firstTarget = 5;
  v.records.adjust = Adjust::Always;
  v.records.limit = link::kDefaultReceiveLimit;
  v.records.headIsFinal = true;
  v.records.damagedRetries = 5;
  v.records.damagedRejection = {.answer = Nak};
  v.end.firstTarget = 5;
  v.end.adjust = Adjust::Always;
  v.end.limit = link::kDefaultReceiveLimit;
  v.end.headIsFinal = true;
  v.end.giveUp = Nak;
  v.microsPerByte = 1'000;
  return v;
}

}  // namespace

const Variant& serialVariant() {
  static const Variant v = makeSerial();
  return v;
}

const Variant& modemVariant() {
  static const Variant v = makeModem();
  return v;
}

const Variant& lanVariant() {
  static const Variant v = makeLan();
  return v;
}

}  // namespace movar::download
