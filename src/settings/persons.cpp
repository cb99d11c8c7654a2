// Enabling and disabling persons. The whole-terminal commands are the preamble alone, with the
// terminal's working time as the acknowledgement wait and a pause before the link closes; the
// one-person commands carry the person number. Where the serial twin gives the terminal a longer
// working time for an answer, the TCP receive of that answer gets the same limit.
#include "settings/payloads.h"
#include "settings/rows.h"

namespace movar::settings {

namespace {

using link::Grouping;
constexpr Millis kEnableAllWork = 30'000, kDisableAllWork = 40'000;
constexpr Millis kEnablePersonWork = 180'000, kDisablePersonWork = 60'000;

// Serial: 10 ms, 0x15, a rest, the block one byte per write, the final 0x06 within the working
// time.
Command onePerson(std::uint8_t code, Millis ackLimit, Millis rest, Millis work) {
  return {.code = code,
          .ackLimit = ackLimit,
          .payload = payload::highLow,
          .steps = {pause(10), send(Piece::Nak), pause(rest), send(Piece::BlockBody),
                    awaitAck(work)}};
}

// TCP: 1 ms before the connect; 10 ms, 0x15 alone, 1 ms, the rest of the block in one send, the
// final 0x06 within the working time, 1 ms; 1 ms before the close on every path once connected.
Command lanOnePerson(std::uint8_t code, Millis work, Millis pauseAfterClose) {
  return {.code = code,
          .ackLimit = kTcpAnswerLimit,
          .payload = payload::highLow,
          .steps = {pause(10), send(Piece::Nak, Grouping::OneWrite), pause(1),
                    send(Piece::BlockBody, Grouping::OneWrite), awaitAck(work), pause(1)},
          .pauseBeforeOpen = 1,
          .closingPause = 1,
          .closingWhen = Closing::Always,
          .pauseAfterClose = pauseAfterClose};
}

}  // namespace

// Serial: the whole-terminal commands pause with the port open also after a failed search.
const Command kEnableAll{
    .code = 0x08, .ackLimit = kEnableAllWork, .closingPause = 3'000, .closingWhen = Closing::Always};
const Command kDisableAll{
    .code = 0x09, .ackLimit = kDisableAllWork, .closingPause = 4'000, .closingWhen = Closing::Always};
const Command kEnablePerson = onePerson(0x0A, 1'000, 10, kEnablePersonWork);
const Command kDisablePerson = onePerson(0x0B, 10'000, 5, kDisablePersonWork);

// TCP: the whole-terminal twins pause with the socket open only after an acknowledgement.
const Command kLanEnableAll{.code = 0x08, .ackLimit = kEnableAllWork, .closingPause = 2'000};
const Command kLanDisableAll{.code = 0x09, .ackLimit = kDisableAllWork, .closingPause = 3'000};
const Command kLanEnablePerson = lanOnePerson(0x0A, kEnablePersonWork, 25);
const Command kLanDisablePerson = lanOnePerson(0x0B, kDisablePersonWork, 1);

}  // namespace movar::settings
