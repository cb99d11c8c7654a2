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
}  // namespace

// Serial.
const Command kEnableAll{.code = 0x08,
                         .ackLimit = kEnableAllWork,
                         .closingPause = 3'000,
                         .closingWhen = Closing::Always};
const Command kDisableAll{.code = 0x09,
                          .ackLimit = kDisableAllWork,
                          .closingPause = 4'000,
                          .closingWhen = Closing::Always};
const Command kEnablePerson{
    .code = 0x0A,
    .ackLimit = 1'000,
    .payload = payload::highLow,
    .steps = {pause(10), send(Piece::Nak), pause(10), send(Piece::BlockBody),
              awaitAck(kEnablePersonWork)}};
const Command kDisablePerson{
    .code = 0x0B,
    .ackLimit = 10'000,
    .payload = payload::highLow,
    .steps = {pause(10), send(Piece::Nak), pause(5), send(Piece::BlockBody),
              awaitAck(kDisablePersonWork)}};

// TCP: the whole-terminal twins pause with the socket open only after an acknowledgement; the
// one-person twins pause 1 ms first, and 1 ms before the close on every path once connected.
const Command kLanEnableAll{.code = 0x08, .ackLimit = kEnableAllWork, .closingPause = 2'000};
const Command kLanDisableAll{.code = 0x09, .ackLimit = kDisableAllWork, .closingPause = 3'000};
const Command kLanEnablePerson{
    .code = 0x0A,
    .ackLimit = kTcpAnswerLimit,
    .payload = payload::highLow,
    .steps = {pause(10), send(Piece::Nak, Grouping::OneWrite), pause(1),
              send(Piece::BlockBody, Grouping::OneWrite), awaitAck(kEnablePersonWork), pause(1)},
    .pauseBeforeOpen = 1,
    .closingPause = 1,
    .closingWhen = Closing::Always,
    .pauseAfterClose = 25};
const Command kLanDisablePerson{
    .code = 0x0B,
    .ackLimit = kTcpAnswerLimit,
    .payload = payload::highLow,
    .steps = {pause(10), send(Piece::Nak, Grouping::OneWrite), pause(1),
              send(Piece::BlockBody, Grouping::OneWrite), awaitAck(kDisablePersonWork), pause(1)},
    .pauseBeforeOpen = 1,
    .closingPause = 1,
    .closingWhen = Closing::Always,
    .pauseAfterClose = 1};

}  // namespace movar::settings
