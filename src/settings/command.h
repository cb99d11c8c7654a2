// A setting command as data: the rows of the settings engine. Every serial or TCP setting is the
// same conversation (an acknowledged preamble, then sends, pauses and answer waits, then the
// closing pauses); a row names its command code, its payload and its steps in the order of the
// export's timing table.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "link/grouping.h"
#include "link/net_link.h"
#include "platform/platform.h"

namespace movar::settings {

// The export's numeric arguments after the address and port (serial) or the IP text (TCP).
using Values = std::span<const std::int32_t>;
// A text argument goes at the end of the payload, byte for byte, without a terminating zero.
using PayloadBuilder = Bytes (*)(Values values, std::string_view text);

// What a send step puts on the wire, around the payload the row's builder made.
enum class Piece {
  Nak,                 // 0x15 alone
  Block,               // the whole DataBlock: 0x15 0x01 N ~N payload checksum
  BlockBody,           // the DataBlock after its 0x15: 0x01 N ~N payload checksum
  BlockHead,           // 0x01 N ~N
  PayloadAndChecksum,  // the payload and its checksum
  NakAndHead,          // 0x15 0x01 N ~N
  PayloadBeforeText,   // the payload up to its text argument
  Text,                // the text argument's bytes
  Checksum,
};

struct Step {
  enum class Kind { Send, Pause, AwaitAck, ReadAnswer };
  Kind kind = Kind::Pause;
  Piece piece = Piece::Nak;
  link::Grouping grouping = link::Grouping::PerByte;
  // The pause, the limit of the answer wait, the inactivity limit of the answer, the pause after
  // each byte of a paced send.
  Millis ms = 0;
};

constexpr Step send(Piece piece, link::Grouping grouping = link::Grouping::PerByte) {
  return {Step::Kind::Send, piece, grouping, 0};
}
// One byte per write, each followed by `perByte`; the runner holds fine pauses for the command.
constexpr Step sendPaced(Piece piece, Millis perByte) {
  return {Step::Kind::Send, piece, link::Grouping::PerByte, perByte};
}
constexpr Step pause(Millis ms) { return {Step::Kind::Pause, Piece::Nak, link::Grouping::PerByte, ms}; }
// One answer byte within the limit; anything but 0x06, or nothing, fails the command.
constexpr Step awaitAck(Millis limit) {
  return {Step::Kind::AwaitAck, Piece::Nak, link::Grouping::PerByte, limit};
}
// The 8-byte AnswerBlock, the missing bytes asked for again until `inactivity` passes without
// one; an accepted answer is confirmed with 0x06 and its value is the command's result.
constexpr Step readAnswer(Millis inactivity) {
  return {Step::Kind::ReadAnswer, Piece::Nak, link::Grouping::PerByte, inactivity};
}

// When the closing pause is made, with the link still open.
enum class Closing {
  OnSuccess,   // only when everything was acknowledged
  AfterSteps,  // once the preamble was acknowledged, whatever the steps brought
  Always,      // also after a failed serial search (its last port held open); TCP: once connected
};

// The failed set-ups of a TCP link that still end with the pause after close.
enum class PausedSetUpFailures {
  None,
  Connect,          // a refused connect: there was a socket to close
  SocketOrConnect,  // all but a socket library that did not start
  Any,
};

// What the export returns.
enum class Result {
  Acknowledged,  // 0 when everything was acknowledged, 1 otherwise
  AnswerValue,   // the value of the accepted AnswerBlock, 65535 otherwise
};

// A row is run by the runner of its link (runner.h); TCP rows are named kLan... like their exports.
struct Command {
  std::uint8_t code = 0;
  // Serial: the acknowledgement wait of every search attempt. TCP: the receive limit of the
  // preamble's answer.
  Millis ackLimit = 1'000;
  PayloadBuilder payload = nullptr;  // none: the command carries no DataBlock
  // The longest text argument the terminal's buffer holds; a longer one is refused before the
  // link is touched, since a cut name or prompt would be stored as if it were whole.
  std::size_t longestText = 0;
  std::vector<Step> steps = {};      // after the acknowledged preamble
  Millis pauseBeforeOpen = 0;
  Millis closingPause = 0;
  Closing closingWhen = Closing::OnSuccess;
  Millis pauseAfterClose = 0;  // TCP, once connected
  PausedSetUpFailures pausedSetUpFailures = PausedSetUpFailures::None;
  Result result = Result::Acknowledged;
};

constexpr std::int32_t kNoAnswerValue = 65535;

// The TCP receive limit where the terminal has no longer working time of its own.
constexpr Millis kTcpAnswerLimit = link::kDefaultReceiveLimit;

}  // namespace movar::settings
