#include "settings/runner.h"

#include <optional>
#include <string>

#include "link/failure.h"
#include "link/handshake.h"
#include "link/net_link.h"
#include "link/timed_read.h"
#include "settings/answer_block.h"

namespace movar::settings {

namespace {

// Where the steps go: the write results are not examined (a broken line shows as a missing
// answer), the answers are.
class StepWire {
 public:
  virtual ~StepWire() = default;
  virtual void send(const Bytes& bytes, link::Grouping grouping) = 0;
  virtual bool awaitAck(Millis limit) = 0;
  // The answer block's bytes, or nothing when fewer than 8 came before the line fell silent.
  virtual const std::uint8_t* readAnswer(Millis inactivity) = 0;
};

class SerialStepWire final : public StepWire {
 public:
  SerialStepWire(Clock& clock, SerialLine& line) : clock_(clock), line_(line) {}
  void send(const Bytes& bytes, link::Grouping grouping) override {
    link::writeGrouped(line_, bytes, grouping);
  }
  bool awaitAck(Millis limit) override {
    const std::optional<std::uint8_t> answer = link::awaitByte(clock_, line_, limit);
    if (answer == link::control::Ack) return true;
    recordFailure(answer ? FailureKind::Refused : FailureKind::NoAnswer,
                  answer ? "the terminal answered " + hexByte(*answer) + " instead of an acknowledgement"
                         : "no acknowledgement from the terminal within " + std::to_string(limit) +
                               " ms");
    return false;
  }
  const std::uint8_t* readAnswer(Millis inactivity) override {
    const link::TimedRead read = link::readFrame(clock_, line_, answer_, kAnswerBlockSize, inactivity);
    if (read.got == kAnswerBlockSize) return answer_;
    recordFailure(FailureKind::NoAnswer, "answer block: " + std::to_string(read.got) + " of " +
                                             std::to_string(kAnswerBlockSize) + " bytes came");
    return nullptr;
  }

 private:
  Clock& clock_;
  SerialLine& line_;
  std::uint8_t answer_[kAnswerBlockSize] = {};
};

class TcpStepWire final : public StepWire {
 public:
  explicit TcpStepWire(link::NetLink& net) : net_(net) {}
  void send(const Bytes& bytes, link::Grouping grouping) override { net_.send(bytes, grouping); }
  bool awaitAck(Millis limit) override { return net_.awaitAck(limit); }
  const std::uint8_t* readAnswer(Millis inactivity) override {
    return net_.receiveFrame(kAnswerBlockSize, inactivity) ? net_.data() : nullptr;
  }

 private:
  link::NetLink& net_;
};

struct Outcome {
  bool acknowledged = false;
  std::optional<std::uint16_t> value;  // of the accepted answer block
};

// The payload and where its text begins.
struct Payload {
  Bytes bytes;
  std::size_t textLength = 0;
};

void sendPaced(Clock& clock, StepWire& wire, const Bytes& bytes, Millis perByte) {
  for (std::uint8_t b : bytes) {
    wire.send({b}, link::Grouping::OneWrite);
    clock.sleep(perByte);
  }
}

bool paced(const Command& command) {
  for (const Step& step : command.steps) {
    if (step.kind == Step::Kind::Send && step.ms > 0) return true;
  }
  return false;
}

Outcome runSteps(Clock& clock, StepWire& wire, const Command& command, const Payload& payload) {
  std::optional<FinePauses> fine;
  if (paced(command)) fine.emplace(clock);
  Outcome outcome;
  for (const Step& step : command.steps) {
    switch (step.kind) {
      case Step::Kind::Send: {
        const Bytes bytes = pieceBytes(step.piece, payload.bytes, payload.textLength);
        if (step.ms > 0) {
          sendPaced(clock, wire, bytes, step.ms);
        } else {
          wire.send(bytes, step.grouping);
        }
        break;
      }
      case Step::Kind::Pause: clock.sleep(step.ms); break;
      case Step::Kind::AwaitAck:
        if (!wire.awaitAck(step.ms)) return outcome;
        break;
      case Step::Kind::ReadAnswer: {
        const std::uint8_t* answer = wire.readAnswer(step.ms);
        outcome.value = answer ? answerBlockValue(answer) : std::nullopt;
        if (!outcome.value) {  // a rejected answer is not confirmed
          if (answer) recordFailure(FailureKind::Refused, "answer block damaged or refused");
          return outcome;
        }
        wire.send({link::control::Ack}, link::Grouping::OneWrite);
        break;
      }
    }
  }
  outcome.acknowledged = true;
  return outcome;
}

// Nothing when the text cannot be sent whole.
std::optional<Payload> payloadOf(const Command& command, Values values, Text text) {
  if (!text) {
    recordFailure(FailureKind::Argument, "text with a negative length");
    return std::nullopt;
  }
  if (text->size() > command.longestText) {
    recordFailure(FailureKind::Argument, "text of " + std::to_string(text->size()) +
                                             " bytes is longer than the " +
                                             std::to_string(command.longestText) +
                                             " the terminal holds");
    return std::nullopt;
  }
  if (!command.payload) return Payload{};
  return Payload{command.payload(values, *text), text->size()};
}

void closingPause(Clock& clock, const Command& command, bool acknowledged) {
  if (command.closingPause > 0 && (acknowledged || command.closingWhen != Closing::OnSuccess)) {
    clock.sleep(command.closingPause);
  }
}

bool pausesAfter(PausedSetUpFailures paused, ConnectError error) {
  switch (paused) {
    case PausedSetUpFailures::None: return false;
    case PausedSetUpFailures::Connect: return error == ConnectError::Connect;
    case PausedSetUpFailures::SocketOrConnect: return error != ConnectError::LibraryStart;
    case PausedSetUpFailures::Any: return true;
  }
  return false;
}

std::int32_t resultOf(const Command& command, const Outcome& outcome) {
  if (command.result == Result::AnswerValue) {
    return outcome.acknowledged && outcome.value ? *outcome.value : kNoAnswerValue;
  }
  return outcome.acknowledged ? 0 : 1;
}

}  // namespace

Bytes pieceBytes(Piece piece, const Bytes& payload, std::size_t textLength) {
  const Bytes block = link::dataBlock(payload);  // 0x15 0x01 N ~N payload checksum
  const auto textStart = block.end() - 1 - static_cast<std::ptrdiff_t>(textLength);
  switch (piece) {
    case Piece::Nak: return {link::control::Nak};
    case Piece::Block: return block;
    case Piece::BlockBody: return Bytes(block.begin() + 1, block.end());
    case Piece::BlockHead: return Bytes(block.begin() + 1, block.begin() + 4);
    case Piece::PayloadAndChecksum: return Bytes(block.begin() + 4, block.end());
    case Piece::NakAndHead: return Bytes(block.begin(), block.begin() + 4);
    case Piece::PayloadBeforeText: return Bytes(block.begin() + 4, textStart);
    case Piece::Text: return Bytes(textStart, block.end() - 1);
    case Piece::Checksum: return {block.back()};
  }
  return {};
}

std::int32_t runSerial(Platform& platform, const Command& command, std::int32_t address,
                       std::int32_t port, Values values, Text text) {
  const std::optional<Payload> payload = payloadOf(command, values, text);
  if (!payload) return resultOf(command, {});
  link::SearchPolicy policy = link::serialSearch(command.ackLimit);
  if (command.closingWhen == Closing::Always) policy.holdAfterFailure = command.closingPause;
  std::optional<link::FoundTerminal> found =
      link::findTerminal(platform, link::lowByte(address), command.code, policy, port);
  if (!found) return resultOf(command, {});
  SerialStepWire wire(platform.clock, *found->line);
  const Outcome outcome = runSteps(platform.clock, wire, command, *payload);
  closingPause(platform.clock, command, outcome.acknowledged);
  return resultOf(command, outcome);
}

std::int32_t runTcp(Platform& platform, const Command& command, const char* ip, Values values,
                    Text text) {
  const std::optional<Payload> payload = payloadOf(command, values, text);
  if (!payload) return resultOf(command, {});
  if (command.pauseBeforeOpen > 0) platform.clock.sleep(command.pauseBeforeOpen);
  // A text that is no address (none, empty, "abc") fails as a refused connect.
  link::NetLink net = link::NetLink::open(platform, ip);
  if (!net.isOpen()) {
    if (pausesAfter(command.pausedSetUpFailures, net.error()) && command.pauseAfterClose > 0) {
      platform.clock.sleep(command.pauseAfterClose);
    }
    return resultOf(command, {});
  }
  TcpStepWire wire(net);
  Outcome outcome;
  if (net.sendPreamble(link::kLanAddress, command.code) && net.awaitAck(command.ackLimit)) {
    outcome = runSteps(platform.clock, wire, command, *payload);
  }
  closingPause(platform.clock, command, outcome.acknowledged);
  net.close();
  if (command.pauseAfterClose > 0) platform.clock.sleep(command.pauseAfterClose);
  return resultOf(command, outcome);
}

}  // namespace movar::settings
