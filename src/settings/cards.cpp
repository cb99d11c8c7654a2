// SN numbers, the SN queries, the card options and the card-only list.
#include "settings/payloads.h"
#include "settings/rows.h"
#include "settings/tcp_flow.h"

namespace movar::settings {

namespace {

constexpr Millis kSnWork = 30'000;  // the terminal stores or removes an SN entry

// Serial: before the block 5 ms, 0x15, 5 ms; the final 0x06 within the terminal's working time.
const std::vector<Step> kSnEntry{pause(5), send(Piece::Nak), pause(5), send(Piece::BlockBody),
                                 awaitAck(kSnWork)};
// 0x15 and at once the block; the final 0x06 within 1 s.
const std::vector<Step> kOneByteOption{send(Piece::Nak), send(Piece::BlockBody), awaitAck(1'000)};
// 0x15, 10 ms, the block; the final 0x06 within 5 s.
const std::vector<Step> kCardList{send(Piece::Nak), pause(10), send(Piece::BlockBody),
                                  awaitAck(5'000)};

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
// TCP: 10 ms, 0x15, 1 ms (2 ms for the delete), the block; the serial twin's working time.
const Command kLanSetSn = tcpSettingFlow(0x10, payload::highLow, 10, 1, kSnWork);
const Command kLanDeleteSn = tcpSettingFlow(0x11, payload::highLow, 10, 2, kSnWork);

const Command kSendOnlyCard{
    .code = 0x03, .payload = payload::operationAndNumber<0x00>, .steps = kCardList};
const Command kDeleteOnlyCard{
    .code = 0x03, .payload = payload::operationAndNumber<0x01>, .steps = kCardList};
const Command kDeleteAllOnlyCards{
    .code = 0x03, .payload = payload::operation<0x02>, .steps = kCardList};

}  // namespace movar::settings
