#include "link/handshake.h"

#include <algorithm>
#include <string>
#include <vector>

#include "link/failure.h"

namespace movar::link {

namespace {
constexpr char kPreambleHeader[] = "NORVALECJS";
constexpr std::size_t kPreambleHeaderSize = 10;
}  // namespace

Bytes commandPreamble(std::uint8_t address, std::uint8_t command) {
  Bytes bytes(kPreambleHeader, kPreambleHeader + kPreambleHeaderSize);
  bytes.insert(bytes.end(), {address, complement(address), command, complement(command)});
  return bytes;
}

void writeByte(SerialLine& line, std::uint8_t byte) { line.write(&byte, 1); }

void writeGrouped(SerialLine& line, const Bytes& bytes, Grouping grouping) {
  if (grouping == Grouping::OneWrite) {
    if (!bytes.empty()) line.write(bytes.data(), bytes.size());
    return;
  }
  for (std::uint8_t b : bytes) writeByte(line, b);
}

void writePreamble(Clock& clock, SerialLine& line, std::uint8_t address, std::uint8_t command,
                   Millis pauseAfterHeader) {
  const Bytes preamble = commandPreamble(address, command);
  line.write(preamble.data(), kPreambleHeaderSize);
  if (pauseAfterHeader > 0) clock.sleep(pauseAfterHeader);
  for (std::size_t i = kPreambleHeaderSize; i < preamble.size(); ++i) writeByte(line, preamble[i]);
}

std::optional<std::uint8_t> awaitByte(Clock& clock, SerialLine& line, Millis limit) {
  const Millis start = clock.now();
  for (;;) {
    std::uint8_t byte = 0;
    if (line.read(&byte, 1) == 1) return byte;
    if (clock.now() - start > limit) return std::nullopt;
  }
}

namespace {

// What a search tried, for the words of its failure.
struct SearchTrace {
  std::vector<int> ports;
  std::vector<int> bauds;
  std::optional<std::uint8_t> lastAnswer;  // a byte other than the acknowledgement

  void attempt(int port, int baud) {
    if (std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
    if (baud > 0 && std::find(bauds.begin(), bauds.end(), baud) == bauds.end()) {
      bauds.push_back(baud);
    }
  }

  void record(std::uint8_t address, int attempts) const {
    std::vector<int> sorted = ports;
    std::sort(sorted.begin(), sorted.end());
    std::string text = "no terminal at address " + std::to_string(address) + " answered on " +
                       describePorts(sorted);
    for (std::size_t i = 0; i < bauds.size(); ++i) {
      text += (i == 0 ? " at " : "/") + std::to_string(bauds[i]);
    }
    if (!bauds.empty()) text += " baud";
    text += " (" + std::to_string(attempts) + (attempts == 1 ? " attempt" : " attempts");
    if (lastAnswer) text += "; last answer " + hexByte(*lastAnswer);
    recordFailure(lastAnswer ? FailureKind::Refused : FailureKind::NoAnswer, text + ")");
  }
};

}  // namespace

std::optional<FoundTerminal> findTerminal(Platform& platform, std::uint8_t address,
                                          std::uint8_t command, const SearchPolicy& policy,
                                          int startPort) {
  PortCycle ports(startPort);
  SearchTrace trace;
  for (int attempt = 0;;) {
    SerialPort line = policy.onePort ? openPort(platform, ports.port(), policy.open, attempt)
                                     : ports.openNext(platform, policy.open, attempt);
    if (!line && policy.onePort) {
      recordFailure(FailureKind::NoPort, describePorts({ports.port()}) + " could not be opened");
      return std::nullopt;
    }
    if (!line) {
      // Ports that stopped opening after some attempts: the terminal still never answered.
      if (attempt > 0) trace.record(address, attempt);
      return std::nullopt;
    }
    trace.attempt(ports.port(), openProfile(policy.open, attempt).settings.baud);
    writePreamble(platform.clock, *line, address, command, policy.pauseAfterHeader);
    const std::optional<std::uint8_t> answer = awaitByte(platform.clock, *line, policy.ackLimit);
    ++attempt;
    if (answer == control::Ack) return FoundTerminal{std::move(line), ports.port()};
    if (answer) trace.lastAnswer = answer;
    if (attempt >= policy.attempts) {
      trace.record(address, attempt);
      if (policy.holdAfterFailure > 0) platform.clock.sleep(policy.holdAfterFailure);
      return std::nullopt;
    }
    if (attempt % 2 == 0 && !policy.onePort) ports.step();
  }
}

Bytes dataBlock(const Bytes& payload) {
  const auto n = static_cast<std::uint8_t>(payload.size());
  Bytes block{control::Nak, 0x01, n, complement(n)};
  unsigned sum = 0;
  for (std::uint8_t b : payload) sum += b;
  block.insert(block.end(), payload.begin(), payload.end());
  block.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return block;
}

std::int32_t testCom(Platform& platform, std::int32_t address, std::int32_t port) {
  std::optional<FoundTerminal> found =
      findTerminal(platform, lowByte(address), 0x00, serialSearch(1'000), port);
  return found ? found->port : -1;
}

}  // namespace movar::link
