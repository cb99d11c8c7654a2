// SN numbers, the SN queries, the card options and the card-only list.
#include "settings/payloads.h"
#include "settings/rows.h"

namespace movar::settings {

namespace {

using link::Grouping;
constexpr Millis kSnWork = 30'000;  // the terminal stores or removes an SN entry

// Serial: before the block 5 ms, 0x15, 5 ms; the final 0x06 within the terminal's working time.
const std::vector<Step> kSnEntry{pause(5), send(Piece::Nak), pause(5), send(Piece::BlockBody),
                                 awaitAck(kSnWork)};
// 0x15 and at once the block; the final 0x06 within 1 s.
const std::vector<Step> kOneByteOption{send(Piece::Nak), send(Piece::BlockBody), awaitAck(1'000)};
// 0x15, 10 ms, the block; the final 0x06 within 5 s.
const std::vector<Step> kCardList{send(Piece::Nak), pause(10), send(Piece::BlockBody),
                                  awaitAck(5'000)};

// TCP: 10 ms, 0x15 alone, a rest, 01 N ~N in one send, then one send per byte; 1 ms after the
// final 0x06; 1 ms before the close, 25 ms after it, also after a refused connect.
Command lanSnEntry(std::uint8_t code, PayloadBuilder builder, Millis rest) {
  return {.code = code,
          .ackLimit = kTcpAnswerLimit,
          .payload = builder,
          .steps = {pause(10), send(Piece::Nak, Grouping::OneWrite), pause(rest),
                    send(Piece::BlockHead, Grouping::OneWrite),
                    send(Piece::PayloadAndChecksum, Grouping::PerByte), awaitAck(kSnWork), pause(1)},
          .pauseBeforeOpen = 1,
          .closingPause = 1,
          .closingWhen = Closing::Always,
          .pauseAfterClose = 25,
          .pauseAfterFailedConnect = true};
}

}  // namespace

const Command kSetSn{.code = 0x10, .payload = payload::highLow, .steps = kSnEntry};
const Command kDeleteSn{.code = 0x11, .payload = payload::highLow, .steps = kSnEntry};
const Command kWhatSn{.code = 0x12,
                      .payload = payload::highLow,
                      .steps = {send(Piece::Nak), pause(10), send(Piece::BlockBody),
                                awaitAck(1'000), readAnswer(10'000)},
                      .result = Result::AnswerValue};
const Command kSnLength{.code = 0x16,
                        .steps = {send(Piece::Nak), readAnswer(10'000)},
                        .result = Result::AnswerValue};
const Command kSetSnOrCard{.code = 0x13, .payload = payload::lowBytes, .steps = kOneByteOption};
const Command kSetCardWaitTime{.code = 0x14, .payload = payload::lowBytes, .steps = kOneByteOption};
const Command kLanSetSn = lanSnEntry(0x10, payload::highLow, 1);
const Command kLanDeleteSn = lanSnEntry(0x11, payload::highLow, 2);

const Command kSendOnlyCard{
    .code = 0x03, .payload = payload::operationAndNumber<0x00>, .steps = kCardList};
const Command kDeleteOnlyCard{
    .code = 0x03, .payload = payload::operationAndNumber<0x01>, .steps = kCardList};
const Command kDeleteAllOnlyCards{
    .code = 0x03, .payload = payload::operation<0x02>, .steps = kCardList};

}  // namespace movar::settings
