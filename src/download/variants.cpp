// The link variants of the block transfer, as data.
#include "download/block_transfer.h"
#include "link/net_link.h"

namespace movar::download {

namespace {

constexpr std::uint8_t kResend = 0xF9;
constexpr std::uint8_t kCancel = 0x18;
constexpr std::uint8_t kRefuse = 0x15;

Variant makeSerial() {
  Variant v;
  v.header.limit = 10'000;
  v.header.retries = 15;
  v.header.rejection = {.flush = Flush::Long, .answer = kResend, .pauseAfter = 10};
  v.header.giveUp = kCancel;
  v.records.firstTarget = kFullPayload + kBlockOverhead;
  v.records.adjust = Adjust::UnlessFull;
  v.records.limit = 2'000;
  v.records.silenceStalls = true;
  v.records.shortRetries = 30;
  v.records.shortRejection = {.flush = Flush::Short, .answer = kResend, .pauseAfter = 10};
  v.records.damagedRetries = 15;
  v.records.damagedRejection = {
      .pauseBefore = 40, .discardOnce = true, .flush = Flush::Short, .answer = kResend, .pauseAfter = 10};
  v.records.giveUp = kCancel;
  v.end.firstTarget = kEndSize;
  v.end.limit = 2'000;
  v.end.giveUp = kCancel;
  v.lingerWait = 1'000;
  v.lingerPause = 16'000;
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
  v.records.damagedRejection = {.answer = kRefuse};
  v.end.firstTarget = 5;
  v.end.adjust = Adjust::Always;
  v.end.limit = link::kDefaultReceiveLimit;
  v.end.headIsFinal = true;
  v.end.giveUp = kRefuse;
  return v;
}

}  // namespace

const Variant& serialVariant() {
  static const Variant v = makeSerial();
  return v;
}

const Variant& lanVariant() {
  static const Variant v = makeLan();
  return v;
}

}  // namespace movar::download
