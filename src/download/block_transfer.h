// The terminal's block transfer (header, numbered record blocks, end block with a transfer sum),
// one mechanism for every link. What differs between a serial line, TCP and a modem is data in a
// Variant plus the BlockWire that moves the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/handshake.h"
#include "platform/platform.h"

namespace movar::download {

constexpr std::size_t kHeaderBlockSize = 8;
constexpr std::size_t kEndBlockSize = 18;
constexpr std::size_t kFullPayload = 168;
constexpr std::size_t kBlockOverhead = 6;  // start, number, ~number, length, ~length, check
constexpr std::size_t kRecordSize = 6;
// A length byte can announce up to 255 payload bytes; the block buffer holds the largest.
constexpr std::size_t kLargestBlock = 255 + kBlockOverhead;

// When the target length of a reception follows the block's own length byte.
enum class Adjust {
  None,
  UnlessFull,  // once 5 bytes with intact complements are in, unless the length byte is 168
  Always,      // once 5 bytes with intact complements are in
};

// Draining a serial line, repeated while its last read still brings bytes: pause `settle`, one
// discarded read when `readAfterSettle`, pause `quiet`, one discarded read.
struct Flush {
  Millis settle = 0;
  bool readAfterSettle = false;
  Millis quiet = 0;
};

// How the host turns a block down and asks for it again.
struct Rejection {
  Millis pauseBefore = 0;
  bool discardOnce = false;  // one read of up to 256 bytes, thrown away
  std::optional<Flush> flush = std::nullopt;
  std::uint8_t answer = 0;
  Millis pauseAfter = 0;
};

// How a phase ends when its rejection limit is reached: the byte sent (if any), then failure.
using GiveUp = std::optional<std::uint8_t>;

struct Variant {
  struct {
    Millis limit = 0;
    int retries = 0;             // rejected headers answered before giving up
    Rejection rejection;
    GiveUp giveUp;
    std::optional<std::uint8_t> requiredKind;
    bool kind3AddsPage = true;   // kind 3 adds 65536 to the count
  } header;

  struct {
    std::size_t firstTarget = 0;
    Adjust adjust = Adjust::None;
    Millis limit = 0;
    bool silenceStalls = false;  // true: a silent limit marks the transfer stalled and goes on
    bool headIsFinal = false;    // true: bad complements or number end the transfer unanswered
    int shortRetries = -1;       // rejected short blocks before giving up; -1: no short rule
    Rejection shortRejection;
    int damagedRetries = 0;
    Rejection damagedRejection;
    GiveUp giveUp;
    std::uint8_t repeatAnswer = link::control::Ack;  // to the block before the expected one
    Millis repeatPause = 0;
    std::uint8_t wrongAnswer = link::control::Nak;  // to any other number
  } records;

  struct {
    std::size_t firstTarget = 0;
    Adjust adjust = Adjust::None;
    Millis limit = 0;
    bool headIsFinal = false;
    int retries = 0;
    Rejection rejection;
    GiveUp giveUp;
    std::uint8_t sumMatches = link::control::Nak;  // answer to a valid end block whose sum matches
    std::uint8_t sumDiffers = link::control::Nak;
  } end;

  // After a good end: wait this long for a stray byte, and pause `lingerPause` if one comes.
  Millis lingerWait = 0;
  Millis lingerPause = 0;

  // Every block (header and end block too) must be complete within its inactivity limit plus
  // this much per byte, however its bytes trickle: twice the byte time of the slowest line the
  // link may run at, so that no good terminal comes near it.
  std::int64_t microsPerByte = 0;
};

const Variant& serialVariant();
const Variant& lanVariant();
const Variant& modemVariant();

struct Reception {
  std::size_t count = 0;   // bytes received into the block buffer
  std::size_t target = 0;  // the length awaited when the reception ended
  bool silent = false;     // the inactivity limit passed before E bytes were in
  bool broken = false;     // the connection closed or failed: nothing more will come
  bool overdue = false;    // the block's whole allowance passed, however its bytes trickled
};

// Moves bytes for the engine. One reception at a time lives in the wire's block buffer.
class BlockWire {
 public:
  virtual ~BlockWire() = default;
  // Starts a new block from offset 0 and receives until `target` bytes (as adjusted) are in, the
  // line has been silent for `limit`, or `limit` plus `microsPerByte` per awaited byte have passed
  // since the start.
  virtual Reception receive(std::size_t target, Millis limit, Adjust adjust,
                            std::int64_t microsPerByte) = 0;
  virtual const std::uint8_t* block() const = 0;
  virtual void send(std::uint8_t byte) = 0;
  virtual void pause(Millis ms) = 0;
  virtual void flush(const Flush& how) = 0;
  virtual void discardOnce() = 0;
  // True when any byte arrives within `limit`.
  virtual bool strayByte(Millis limit) = 0;
};

// The length awaited after the bytes received so far, for the given rule.
std::size_t adjustedTarget(Adjust rule, const std::uint8_t* block, std::size_t count,
                           std::size_t target);

// Where stored payloads and progress go.
class TransferSink {
 public:
  virtual ~TransferSink() = default;
  virtual bool store(const std::uint8_t* payload, std::size_t n) = 0;
  virtual void progress(std::uint64_t storedBytes, std::uint64_t announcedBytes) = 0;
};

struct TransferResult {
  bool success = false;
  std::uint32_t announced = 0;  // records the header announced
  std::uint64_t stored = 0;     // payload bytes stored
  bool stalled = false;
};

// Runs from the header on; the start request has been sent by the caller.
TransferResult runBlockTransfer(const Variant& variant, BlockWire& wire, TransferSink& sink);

}  // namespace movar::download
