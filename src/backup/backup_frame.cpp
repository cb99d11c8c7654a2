#include "backup/backup_frame.h"

namespace movar::backup {

namespace {

constexpr std::uint8_t kStart = 0x02, kEnd = 0x03;
constexpr std::uint16_t kDataSequence = 0x0001;
constexpr std::uint8_t kReadPayload[] = {0x01, 0x34, 0x02};

std::uint8_t high(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }
std::uint8_t low(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint16_t word(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] << 8 | at[1]); }

}  // namespace

Bytes buildFrame(const FrameHead& head, std::span<const std::uint8_t> payload) {
  const auto length = static_cast<std::uint16_t>(payload.size());
  Bytes frame{kStart, 0x14, 0x00, 0x10, high(length), low(length), high(head.sequence),
              low(head.sequence), head.more, high(head.block), low(head.block), 0xFC, 0x00,
              head.flags, high(head.acknowledged), low(head.acknowledged), 0x00};
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(kEnd);
  unsigned sum = 0;
  for (std::uint8_t b : frame) sum += b;
  frame[16] = static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
  return frame;
}

Bytes openingRequest() { return buildFrame({.sequence = kDataSequence, .flags = flag::Open}); }

Bytes openingConfirmation(std::uint16_t answerSequence) {
  // The low byte counts on by one without carrying into the high byte.
  const auto acknowledged = static_cast<std::uint16_t>(
      (answerSequence & 0xFF00) | ((answerSequence + 1) & 0x00FF));
  return buildFrame({.sequence = kDataSequence, .flags = flag::Ack, .acknowledged = acknowledged});
}

Bytes readRequest() { return buildFrame({}, kReadPayload); }

Bytes receiveAcknowledgement(std::uint16_t accepted, const FrameHead& frame, bool sequenceChanged) {
  return buildFrame(
      {.sequence = accepted,
       .flags = static_cast<std::uint8_t>(flag::Ack | (sequenceChanged ? flag::SequenceChanged : 0)),
       .acknowledged = static_cast<std::uint16_t>(frame.sequence + frame.length)});
}

Bytes dataFrame(std::uint16_t block, bool more, std::span<const std::uint8_t> payload) {
  return buildFrame({.sequence = kDataSequence, .more = more ? std::uint8_t{1} : std::uint8_t{0},
                     .block = block},
                    payload);
}

Bytes resultAcknowledgement(const FrameHead& result) {
  // High with high, low with low, neither carrying.
  const auto h = static_cast<std::uint8_t>(high(result.sequence) + high(result.length));
  const auto l = static_cast<std::uint8_t>(low(result.sequence) + low(result.length));
  return buildFrame({.flags = flag::Ack, .acknowledged = static_cast<std::uint16_t>(h << 8 | l)});
}

std::uint16_t announcedLength(std::span<const std::uint8_t> prefix) {
  return prefix.size() < kLengthPrefix ? 0 : word(prefix.data() + 4);
}

std::optional<FrameHead> readHead(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeadSize) return std::nullopt;
  const std::uint8_t* b = bytes.data();
  return FrameHead{word(b + 4), word(b + 6), b[8], word(b + 9), b[13], word(b + 14)};
}

bool checksumHolds(std::span<const std::uint8_t> frame) {
  unsigned sum = 0;
  for (std::uint8_t b : frame) sum += b;
  return (sum & 0xFF) == 0;
}

std::optional<Frame> parseFrame(std::span<const std::uint8_t> bytes) {
  const std::optional<FrameHead> head = readHead(bytes);
  if (!head || bytes.size() != kFrameOverhead + head->length || !checksumHolds(bytes)) {
    return std::nullopt;
  }
  return Frame{*head, bytes.subspan(kHeadSize, head->length)};
}

}  // namespace movar::backup
