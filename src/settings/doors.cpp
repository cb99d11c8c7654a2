// Door open mode, open time and the open/close switch; and the bell.
#include "settings/payloads.h"
#include "settings/rows.h"
#include "settings/tcp_flow.h"

namespace movar::settings {

namespace {

// Serial: 0x15 and at once the one-byte block; the final 0x06 within 1 s.
const std::vector<Step> kDoorSetting{send(Piece::Nak), send(Piece::BlockBody), awaitAck(1'000)};

}  // namespace

const Command kSetOpenMode{.code = 0x13, .payload = payload::lowBytes, .steps = kDoorSetting};
const Command kSetOpenTime{.code = 0x14, .payload = payload::lowBytes, .steps = kDoorSetting};
const Command kSetOpenClose{.code = 0x06, .payload = payload::doorSwitch, .steps = kDoorSetting};
// TCP: 10 ms (3 ms for the switch, whose byte goes unchanged), 0x15, 2 ms, the block.
const Command kLanSetOpenMode = tcpSettingFlow(0x13, payload::lowBytes, 10, 2, kTcpAnswerLimit);
const Command kLanSetOpenTime = tcpSettingFlow(0x14, payload::lowBytes, 10, 2, kTcpAnswerLimit);
const Command kLanSetOpenClose = tcpSettingFlow(0x06, payload::lowBytes, 3, 2, kTcpAnswerLimit);

// The bell: the block at once, the final 0x06 within 5 s, 1 ms before the close.
const Command kSetBell{.code = 0x18,
                       .payload = payload::lowBytes,
                       .steps = {send(Piece::Nak), send(Piece::BlockBody), awaitAck(5'000)},
                       .closingPause = 1,
                       .closingWhen = Closing::AfterSteps};

}  // namespace movar::settings
