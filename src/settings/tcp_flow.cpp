#include "settings/tcp_flow.h"

namespace movar::settings {

Command tcpSettingFlow(std::uint8_t code, PayloadBuilder payload, Millis first, Millis rest,
                       Millis finalLimit) {
  using link::Grouping;
  return {.code = code,
          .ackLimit = kTcpAnswerLimit,
          .payload = payload,
          .steps = {pause(first), send(Piece::Nak, Grouping::OneWrite), pause(rest),
                    send(Piece::BlockHead, Grouping::OneWrite),
                    send(Piece::PayloadAndChecksum, Grouping::PerByte), awaitAck(finalLimit),
                    pause(1)},
          .pauseBeforeOpen = 1,
          .closingPause = 1,
          .closingWhen = Closing::Always,
          .pauseAfterClose = 25,
          .pausedSetUpFailures = PausedSetUpFailures::Connect};
}

}  // namespace movar::settings
