// Person names and voice prompts. The texts go out byte for byte, without conversion or a
// terminating zero; the terminal's buffers hold 20 name bytes on the serial line, 100 over TCP,
// and 100 bytes of voice text.
#include "settings/payloads.h"
#include "settings/rows.h"
#include "settings/tcp_flow.h"

namespace movar::settings {

namespace {

using link::Grouping;
constexpr std::size_t kSerialName = 20, kLanName = 100, kVoiceText = 100;

// Serial: the whole block at once, the final 0x06 within 10 s.
const std::vector<Step> kBlockAnswered{send(Piece::Block), awaitAck(10'000)};
// TCP: 15 01 N ~N in one send, each payload byte and the checksum in a send of its own, one answer.
const std::vector<Step> kLanBlockAnswered{send(Piece::NakAndHead, Grouping::OneWrite),
                                          send(Piece::PayloadAndChecksum), awaitAck(kTcpAnswerLimit)};

}  // namespace

const Command kSendName{
    .code = 0x0E, .payload = payload::numberAndName, .longestText = kSerialName, .steps = kBlockAnswered};
const Command kChangeNameId{.code = 0x06, .payload = payload::highLow, .steps = kBlockAnswered};
// No block: the terminal's second 0x06 says the names are gone.
const Command kDeleteAllNames{.code = 0x05, .steps = {awaitAck(10'000)}};

const Command kLanSendName = [] {
  Command row = tcpSettingFlow(0x0E, payload::numberAndName, 5, 1, kTcpAnswerLimit);
  row.longestText = kLanName;
  row.pausedSetUpFailures = PausedSetUpFailures::Any;
  return row;
}();
const Command kLanChangeNameId{
    .code = 0x06, .ackLimit = kTcpAnswerLimit, .payload = payload::highLow, .steps = kLanBlockAnswered};
const Command kLanDeleteAllNames{.code = 0x05, .ackLimit = kTcpAnswerLimit};

// Serial: 5 ms, 0x15, 10 ms, the head and fields at once, the text a byte per millisecond, the
// checksum and 1 ms; the answer within 3 s.
const Command kSendVoice{.code = 0x14,
                         .ackLimit = 2'000,
                         .payload = payload::voiceRecord,
                         .longestText = kVoiceText,
                         .steps = {pause(5), send(Piece::Nak), pause(10), send(Piece::BlockHead),
                                   send(Piece::PayloadBeforeText), sendPaced(Piece::Text, 1),
                                   send(Piece::Checksum), pause(1), awaitAck(3'000)}};
// Deleting every record is deleting number 0.
const Command kDeleteVoice{.code = 0x15, .payload = payload::highLow, .steps = kBlockAnswered};

const Command kLanSendVoice{.code = 0x14,
                            .ackLimit = kTcpAnswerLimit,
                            .payload = payload::voiceRecord,
                            .longestText = kVoiceText,
                            .steps = kLanBlockAnswered,
                            .pauseAfterClose = 25,
                            .pausedSetUpFailures = PausedSetUpFailures::SocketOrConnect};
const Command kLanDeleteVoice{
    .code = 0x15, .ackLimit = kTcpAnswerLimit, .payload = payload::highLow, .steps = kLanBlockAnswered};

}  // namespace movar::settings
