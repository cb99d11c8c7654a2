// The frame of the device backup transfer: a 17-byte head, the payload and the end byte 0x03,
// checksummed so that all its bytes sum to 0 modulo 256. Building and reading frames only: no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/platform.h"

namespace movar::backup {

constexpr std::size_t kHeadSize = 17;
constexpr std::size_t kFrameOverhead = kHeadSize + 1;  // head and end byte
constexpr std::size_t kLengthPrefix = 6;                // the bytes up to the length field
constexpr std::size_t kMaxDataPayload = 1500;           // per frame the library sends
// The receive area holds a frame of 1587 payload bytes; a frame announcing more is refused.
constexpr std::size_t kReceiveArea = 1605;
constexpr std::size_t kMaxReceivedPayload = kReceiveArea - kFrameOverhead;
// Answers and the result frame are read into an area of one full data frame and a little more.
constexpr std::size_t kAnswerArea = 1604;
constexpr std::size_t kMaxAnswerPayload = kAnswerArea - kFrameOverhead;

namespace flag {
constexpr std::uint8_t Open = 0x01;
constexpr std::uint8_t Ack = 0x04;
constexpr std::uint8_t SequenceChanged = 0x10;
}  // namespace flag

struct FrameHead {
  std::uint16_t length = 0;
  std::uint16_t sequence = 0;
  std::uint8_t more = 0;
  std::uint16_t block = 0;
  std::uint8_t flags = 0;
  std::uint16_t acknowledged = 0;
};

Bytes buildFrame(const FrameHead& head, std::span<const std::uint8_t> payload = {});

Bytes openingRequest();
// Answers the device's opening answer that asked for it (flags 0x01 and 0x04 both set).
Bytes openingConfirmation(std::uint16_t answerSequence);
Bytes readRequest();
// `accepted`: the data frames accepted before this one.
Bytes receiveAcknowledgement(std::uint16_t accepted, const FrameHead& frame, bool sequenceChanged);
Bytes dataFrame(std::uint16_t block, bool more, std::span<const std::uint8_t> payload);
Bytes resultAcknowledgement(const FrameHead& result);

inline bool needsConfirmation(std::uint8_t flags) {
  return (flags & (flag::Open | flag::Ack)) == (flag::Open | flag::Ack);
}

// The payload length a frame announces in its first six bytes.
std::uint16_t announcedLength(std::span<const std::uint8_t> prefix);
// The head fields of a frame of which at least kHeadSize bytes are given; nothing otherwise.
std::optional<FrameHead> readHead(std::span<const std::uint8_t> bytes);
// All bytes of a whole frame sum to 0 modulo 256.
bool checksumHolds(std::span<const std::uint8_t> frame);

// A whole frame: its head and payload, when the bytes are exactly one frame of the length it
// announces and its checksum holds.
struct Frame {
  FrameHead head;
  std::span<const std::uint8_t> payload;
};
std::optional<Frame> parseFrame(std::span<const std::uint8_t> bytes);

}  // namespace movar::backup
