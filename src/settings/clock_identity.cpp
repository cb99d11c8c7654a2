// Clock, machine number, password, lock number and the TCP answer byte: a DataBlock after the
// acknowledged preamble, answered with 0x06 within 1 s (serial) or the TCP answer limit.
#include "settings/payloads.h"
#include "settings/rows.h"

namespace movar::settings {

namespace {

using link::Grouping;

// Serial: 0x15, then the block one byte per write; the lock number commands rest 1 ms between.
const std::vector<Step> kSerialBlock{send(Piece::Nak), send(Piece::BlockBody), awaitAck(1'000)};
const std::vector<Step> kSerialBlockAfterRest{send(Piece::Nak), pause(1), send(Piece::BlockBody),
                                              awaitAck(1'000)};
// TCP: 0x15 and the whole block in one send.
const std::vector<Step> kTcpBlock{send(Piece::Block, Grouping::OneWrite), awaitAck(kTcpAnswerLimit)};

}  // namespace

const Command kSetTime{.code = 0x02, .payload = payload::lowBytes, .steps = kSerialBlock};
const Command kSetMachineId{.code = 0x04, .payload = payload::lowBytes, .steps = kSerialBlock};
const Command kSetPassword{.code = 0x07, .payload = payload::highLow, .steps = kSerialBlock};
const Command kSetLockNumber{
    .code = 0x03, .payload = payload::operationAndNumber<0x01>, .steps = kSerialBlockAfterRest};
const Command kDeleteLockNumber{
    .code = 0x03, .payload = payload::operation<0x00>, .steps = kSerialBlockAfterRest};

const Command kLanSetTime{
    .code = 0x02, .ackLimit = kTcpAnswerLimit, .payload = payload::lowBytes, .steps = kTcpBlock};
const Command kLanAnswer{
    .code = 0x03, .ackLimit = kTcpAnswerLimit, .payload = payload::lowBytes, .steps = kTcpBlock};

}  // namespace movar::settings
