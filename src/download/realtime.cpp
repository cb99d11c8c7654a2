#include "download/realtime.h"

#include <optional>

#include "link/handshake.h"
#include "link/net_link.h"
#include "link/timed_read.h"
#include "records/realtime_line.h"

namespace movar::download {

namespace {

constexpr std::uint8_t kSerialCommand = 0x16;
constexpr std::uint8_t kLanCommand = 0x17;
constexpr Millis kSerialLimit = 200;
constexpr std::size_t kFrameSize = 12;

RealtimeText zeros() {
  RealtimeText text{};
  text.fill('\0');
  for (std::size_t i = 0; i < 20; ++i) text[i] = '0';
  return text;
}

bool noRecordWaiting(const std::uint8_t* frame) { return frame[0] == 0xFF && frame[1] == 0xFF; }

bool checkByteMatches(const std::uint8_t* frame) {
  unsigned sum = 0;
  for (std::size_t i = 5; i <= 10; ++i) sum += frame[i];
  return frame[11] == (sum & 0xFF);
}

RealtimeText textOf(const std::uint8_t* frame) {
  RealtimeText text{};
  records::formatRealtimeLine(frame + 5, text.data(), text.size());
  return text;
}

// After the acknowledged preamble: the start request, then FF FF or a checked 12-byte frame.
std::optional<RealtimeText> askSerial(Clock& clock, SerialLine& line) {
  link::writeByte(line, link::control::Nak);
  std::uint8_t frame[kFrameSize] = {};
  if (link::readFrame(clock, line, frame, 2, kSerialLimit).got < 2) return std::nullopt;
  if (noRecordWaiting(frame)) return std::nullopt;
  if (link::readFrame(clock, line, frame + 2, kFrameSize - 2, kSerialLimit).got < kFrameSize - 2) {
    return std::nullopt;
  }
  if (!checkByteMatches(frame)) return std::nullopt;
  link::writeByte(line, link::control::Ack);
  return textOf(frame);
}

std::optional<RealtimeText> askLan(Platform& platform, link::NetLink& net) {
  Clock& clock = platform.clock;
  if (!net.sendPreamble(link::kLanAddress, kLanCommand)) return std::nullopt;
  if (!net.awaitAck()) return std::nullopt;
  clock.sleep(20);
  if (net.sendByte(link::control::Nak) != 1) return std::nullopt;
  clock.sleep(10);
  if (!net.receiveFrame(2) || noRecordWaiting(net.data())) return std::nullopt;
  if (!net.receiveMore(kFrameSize)) return std::nullopt;
  if (!checkByteMatches(net.data())) {
    net.sendByte(link::control::Nak);
    return std::nullopt;
  }
  if (net.sendByte(link::control::Ack) != 1) return std::nullopt;
  RealtimeText text = textOf(net.data());
  clock.sleep(1);
  return text;
}

}  // namespace

RealtimeText realDownload(Platform& platform, std::int32_t address, std::int32_t port) {
  // One attempt at 57600 on the first port that opens; no second speed, no stepping on.
  constexpr link::SearchPolicy kOneAttempt{link::OpenRoutine::Serial, 1, kSerialLimit, 0, 0};
  RealtimeText result = zeros();
  {
    std::optional<link::FoundTerminal> found =
        link::findTerminal(platform, link::lowByte(address), kSerialCommand, kOneAttempt, port);
    if (found) {
      if (auto text = askSerial(platform.clock, *found->line)) result = *text;
    }
  }
  platform.clock.sleep(10);  // the line rests before the next poll may open it
  return result;
}

RealtimeText lanRealDownload(Platform& platform, const char* ipv4Text) {
  Clock& clock = platform.clock;
  clock.sleep(1);
  RealtimeText result = zeros();
  link::NetLink net = link::NetLink::open(platform, ipv4Text);
  if (net.isOpen()) {
    if (auto text = askLan(platform, net)) result = *text;
    clock.sleep(1);
    net.close();
    clock.sleep(25);
  } else if (net.error() == ConnectError::Connect) {
    clock.sleep(25);
  }
  clock.sleep(60);
  return result;
}

}  // namespace movar::download
