#include "settings/runner.h"

#include <optional>

#include "link/handshake.h"
#include "link/net_link.h"

namespace movar::settings {

namespace {

// Where the steps go: the write results are not examined (a broken line shows as a missing
// answer), the answers are.
class StepWire {
 public:
  virtual ~StepWire() = default;
  virtual void send(const Bytes& bytes, link::Grouping grouping) = 0;
  virtual bool awaitAck(Millis limit) = 0;
};

class SerialStepWire final : public StepWire {
 public:
  SerialStepWire(Clock& clock, SerialLine& line) : clock_(clock), line_(line) {}
  void send(const Bytes& bytes, link::Grouping grouping) override {
    link::writeGrouped(line_, bytes, grouping);
  }
  bool awaitAck(Millis limit) override {
    return link::awaitByte(clock_, line_, limit) == link::control::Ack;
  }

 private:
  Clock& clock_;
  SerialLine& line_;
};

class TcpStepWire final : public StepWire {
 public:
  explicit TcpStepWire(link::NetLink& net) : net_(net) {}
  void send(const Bytes& bytes, link::Grouping grouping) override { net_.send(bytes, grouping); }
  bool awaitAck(Millis limit) override { return net_.awaitAck(limit); }

 private:
  link::NetLink& net_;
};

bool runSteps(Clock& clock, StepWire& wire, const Command& command, const Bytes& payload) {
  for (const Step& step : command.steps) {
    switch (step.kind) {
      case Step::Kind::Send: wire.send(pieceBytes(step.piece, payload), step.grouping); break;
      case Step::Kind::Pause: clock.sleep(step.ms); break;
      case Step::Kind::AwaitAck:
        if (!wire.awaitAck(step.ms)) return false;
        break;
    }
  }
  return true;
}

Bytes payloadOf(const Command& command, std::initializer_list<std::int32_t> values) {
  return command.payload ? command.payload(Values(values.begin(), values.size())) : Bytes{};
}

void closingPause(Clock& clock, const Command& command, bool acknowledged) {
  if (command.closingPause > 0 && (acknowledged || command.closingPauseAfterFailure)) {
    clock.sleep(command.closingPause);
  }
}

}  // namespace

Bytes pieceBytes(Piece piece, const Bytes& payload) {
  switch (piece) {
    case Piece::Nak: return {link::control::Nak};
    case Piece::Block: return link::dataBlock(payload);
    case Piece::BlockBody: {
      Bytes block = link::dataBlock(payload);
      block.erase(block.begin());
      return block;
    }
  }
  return {};
}

std::int32_t runSerial(Platform& platform, const Command& command, std::int32_t address,
                       std::int32_t port, std::initializer_list<std::int32_t> values) {
  const Bytes payload = payloadOf(command, values);
  link::SearchPolicy policy = link::serialSearch(command.ackLimit);
  if (command.closingPauseAfterFailure) policy.holdAfterFailure = command.closingPause;
  std::optional<link::FoundTerminal> found =
      link::findTerminal(platform, link::lowByte(address), command.code, policy, port);
  if (!found) return 1;
  SerialStepWire wire(platform.clock, *found->line);
  const bool acknowledged = runSteps(platform.clock, wire, command, payload);
  closingPause(platform.clock, command, acknowledged);
  return acknowledged ? 0 : 1;
}

std::int32_t runTcp(Platform& platform, const Command& command, const char* ip,
                    std::initializer_list<std::int32_t> values) {
  if (ip == nullptr || *ip == '\0') return 1;
  const Bytes payload = payloadOf(command, values);
  if (command.pauseBeforeOpen > 0) platform.clock.sleep(command.pauseBeforeOpen);
  link::NetLink net = link::NetLink::open(platform, ip);
  if (!net.isOpen()) return 1;
  TcpStepWire wire(net);
  const bool acknowledged = net.sendPreamble(link::kLanAddress, command.code) &&
                            net.awaitAck(command.ackLimit) &&
                            runSteps(platform.clock, wire, command, payload);
  closingPause(platform.clock, command, acknowledged);
  net.close();
  if (command.pauseAfterClose > 0) platform.clock.sleep(command.pauseAfterClose);
  return acknowledged ? 0 : 1;
}

}  // namespace movar::settings
