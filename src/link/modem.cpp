#include "link/modem.h"

#include <cstring>
#include <string>
#include <vector>

#include "link/failure.h"
#include "link/handshake.h"

namespace movar::link {

namespace {

constexpr std::uint8_t kCr = 0x0D;

// Five characters in one write, a pause, CR in a write of its own, a pause; then an answer of up
// to `answer` bytes, read until it is complete or `limit` has passed since the reading began.
struct AtCommand {
  const char* text;
  Millis pauseAfterText;
  Millis pauseAfterCr;
  std::size_t answer;
  Millis limit;
};

constexpr AtCommand kEchoOff{"AT E0", 60, 1, 6, 8'000};
constexpr AtCommand kVerbose{"AT V1", 60, 1, 6, 6'000};
constexpr AtCommand kReportAnswers{"AT Q0", 60, 1, 6, 8'000};
constexpr AtCommand kHangUp{"AT H0", 60, 1, 6, 6'000};
constexpr AtCommand kQuiet{"AT Q1", 40, 2, 0, 0};
constexpr AtCommand kNumeric{"AT V0", 40, 2, 0, 0};
constexpr const char* kDial = "AT DT";
constexpr std::size_t kCommandSize = 5;
constexpr Millis kDialPause = 60;
constexpr Millis kDialLimit = 30'000;

void writeText(SerialLine& line, std::string_view text) {
  line.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::size_t readAnswer(Clock& clock, SerialLine& line, std::uint8_t* answer, std::size_t length,
                       Millis limit) {
  std::size_t got = 0;
  const Millis start = clock.now();
  do {
    got += line.read(answer + got, length - got);
  } while (got < length && clock.now() - start <= limit);
  return got;
}

void endLine(Clock& clock, SerialLine& line, Millis pause) {
  writeByte(line, kCr);
  clock.sleep(pause);
}

// The count of answer bytes that arrived; the answers of the set-up commands are not examined.
std::size_t send(Clock& clock, SerialLine& line, const AtCommand& command) {
  writeText(line, {command.text, kCommandSize});
  clock.sleep(command.pauseAfterText);
  endLine(clock, line, command.pauseAfterCr);
  if (command.answer == 0) return 0;
  std::uint8_t answer[kDialAnswerSize];
  return readAnswer(clock, line, answer, command.answer, command.limit);
}

bool dial(Clock& clock, SerialLine& line, std::string_view number) {
  writeText(line, {kDial, kCommandSize});
  clock.sleep(kDialPause);
  writeText(line, number);
  clock.sleep(kDialPause);
  endLine(clock, line, 1);
  std::uint8_t answer[kDialAnswerSize];
  return isConnectAnswer(answer, readAnswer(clock, line, answer, kDialAnswerSize, kDialLimit));
}

}  // namespace

std::optional<std::string_view> phoneNumber(const char* text) {
  if (text == nullptr) return std::nullopt;
  std::size_t n = 0;
  while (n <= kLongestPhoneNumber && text[n] != '\0') ++n;
  if (n == 0 || n > kLongestPhoneNumber) return std::nullopt;
  return std::string_view(text, n);
}

bool isConnectAnswer(const std::uint8_t* answer, std::size_t n) {
  constexpr char kConnect[] = "CONNECT";
  constexpr std::size_t kAt = 2, kLength = sizeof kConnect - 1;
  return n >= kAt + kLength && std::memcmp(answer + kAt, kConnect, kLength) == 0;
}

SerialPort dialModem(Platform& platform, int& port, std::string_view number, ModemAttempts& attempts) {
  Clock& clock = platform.clock;
  std::vector<int> unopened, silent;
  auto giveUp = [&] {
    std::string text = "no modem answered";
    if (!silent.empty()) text += " \"AT E0\" on " + describePorts(silent);
    if (!unopened.empty()) text += "; " + describePorts(unopened) + " could not be opened";
    recordFailure(FailureKind::Modem, std::move(text));
    return nullptr;
  };
  for (;;) {
    SerialPort line = openPort(platform, port, OpenRoutine::Modem);
    if (!line) {
      unopened.push_back(port);
      port = nextPort(port);
      if (attempts.openFailed()) return giveUp();
      continue;
    }
    if (send(clock, *line, kEchoOff) < kEchoOff.answer) {
      silent.push_back(port);
      port = nextPort(port);
      line.reset();
      if (attempts.echoOffFailed()) return giveUp();
      continue;
    }
    send(clock, *line, kVerbose);
    send(clock, *line, kReportAnswers);
    if (!dial(clock, *line, number)) {
      send(clock, *line, kHangUp);
      recordFailure(FailureKind::Modem, "the call to " + std::string(number) + " on COM" +
                                            std::to_string(port) + " did not connect");
      return nullptr;
    }
    send(clock, *line, kQuiet);
    send(clock, *line, kNumeric);
    return line;
  }
}

}  // namespace movar::link
