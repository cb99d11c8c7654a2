// Door open mode, open time and the open/close switch; and the bell.
#include "settings/payloads.h"
#include "settings/rows.h"

namespace movar::settings {

namespace {

using link::Grouping;

// Serial: 0x15 and at once the one-byte block; the final 0x06 within 1 s.
const std::vector<Step> kDoorSetting{send(Piece::Nak), send(Piece::BlockBody), awaitAck(1'000)};

// TCP: a pause, 0x15 alone, 2 ms, 01 01 FE in one send, the byte and its checksum one send
// each; 1 ms after the final 0x06; 1 ms before the close, 25 ms after it.
Command lanDoorSetting(std::uint8_t code, PayloadBuilder builder, Millis pauseFirst) {
  return {.code = code,
          .ackLimit = kTcpAnswerLimit,
          .payload = builder,
          .steps = {pause(pauseFirst), send(Piece::Nak, Grouping::OneWrite), pause(2),
                    send(Piece::BlockHead, Grouping::OneWrite),
                    send(Piece::PayloadAndChecksum, Grouping::PerByte),
                    awaitAck(kTcpAnswerLimit), pause(1)},
          .pauseBeforeOpen = 1,
          .closingPause = 1,
          .closingWhen = Closing::Always,
          .pauseAfterClose = 25,
          .pauseAfterFailedConnect = true};
}

}  // namespace

const Command kSetOpenMode{.code = 0x13, .payload = payload::lowBytes, .steps = kDoorSetting};
const Command kSetOpenTime{.code = 0x14, .payload = payload::lowBytes, .steps = kDoorSetting};
const Command kSetOpenClose{.code = 0x06, .payload = payload::doorSwitch, .steps = kDoorSetting};
const Command kLanSetOpenMode = lanDoorSetting(0x13, payload::lowBytes, 10);
const Command kLanSetOpenTime = lanDoorSetting(0x14, payload::lowBytes, 10);
const Command kLanSetOpenClose = lanDoorSetting(0x06, payload::lowBytes, 3);  // the byte unchanged

// The bell: the block at once, the final 0x06 within 5 s, 1 ms before the close.
const Command kSetBell{.code = 0x18,
                       .payload = payload::lowBytes,
                       .steps = {send(Piece::Nak), send(Piece::BlockBody), awaitAck(5'000)},
                       .closingPause = 1,
                       .closingWhen = Closing::AfterSteps};

}  // namespace movar::settings
