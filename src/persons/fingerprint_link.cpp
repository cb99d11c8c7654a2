#include "persons/fingerprint_link.h"

#include <optional>

#include "link/failure.h"
#include "link/handshake.h"
#include "link/timed_read.h"

namespace movar::persons {

namespace {

constexpr std::uint8_t kDialogueCommand = 0x12;

struct Answer {
  AnswerHeader header;
  Bytes data;
};

bool readWhole(Clock& clock, SerialLine& line, std::uint8_t* buffer, std::size_t size,
               Millis inactivity) {
  return link::readFrame(clock, line, buffer, size, inactivity).got == size;
}

void sendRequest(SerialLine& line, const Request& request) {
  line.write(request.packet.data(), request.packet.size());
  if (request.payload && !request.payload->empty()) {
    line.write(request.payload->data(), request.payload->size());
  }
}

std::optional<Answer> readAnswer(Clock& clock, SerialLine& line, Millis headerLimit,
                                 bool readData) {
  AnswerHeaderBytes header{};
  if (!readWhole(clock, line, header.data(), header.size(), headerLimit)) return std::nullopt;
  Answer answer{parseAnswerHeader(header), {}};
  if (!readData || answer.header.length == 0) return answer;
  if (answer.header.length > kMaxAnswerData) return std::nullopt;
  answer.data.resize(answer.header.length);
  if (!readWhole(clock, line, answer.data.data(), answer.data.size(), kDataLimit)) {
    return std::nullopt;
  }
  return answer;
}

std::int32_t unitSilent() {
  recordFailure(FailureKind::NoAnswer, "the fingerprint unit's answer did not come whole");
  return kFailed;
}

}  // namespace

link::SerialPort openDialogue(Platform& platform, std::uint8_t address, std::int32_t port,
                              const DialogueTiming& timing) {
  std::optional<link::FoundTerminal> found =
      link::findTerminal(platform, address, kDialogueCommand, link::serialSearch(1'000), port);
  if (!found) return nullptr;
  // A byte per write as in every DataBlock on a serial line, with a pause after the first: the
  // terminal needs it to switch to its unit.
  const Bytes block = link::dataBlock({0xAA, 0x55});
  link::writeByte(*found->line, block[0]);
  platform.clock.sleep(timing.pauseInBlock);
  link::writeGrouped(*found->line, Bytes(block.begin() + 1, block.end()), link::Grouping::PerByte);
  const std::optional<std::uint8_t> ack =
      link::awaitByte(platform.clock, *found->line, timing.blockAckLimit);
  found->line.reset();
  if (ack != link::control::Ack) {
    recordFailure(ack ? FailureKind::Refused : FailureKind::NoAnswer,
                  "the terminal did not open the dialogue with its fingerprint unit");
    return nullptr;
  }
  platform.clock.sleep(timing.pauseBeforeReopen);
  link::PortCycle ports(found->port);
  return ports.openNext(platform, link::OpenRoutine::Fingerprint);
}

std::optional<std::int32_t> completeDialogue(Platform& platform, std::int32_t address,
                                             std::int32_t port, const Request& request,
                                             const DialogueTiming& timing, const DataSink& sink) {
  link::SerialPort line = openDialogue(platform, link::lowByte(address), port, timing);
  if (!line) return std::nullopt;
  sendRequest(*line, request);
  // Delete-all is answered by the closing bytes alone; byte 10 of its own packet is its result.
  std::int32_t result = request.packet[10];
  bool kept = true;
  if (request.reads != Reads::ClosingOnly) {
    const std::optional<Answer> answer = readAnswer(platform.clock, *line, timing.headerLimit,
                                                    request.reads == Reads::HeaderAndData);
    if (!answer) {
      unitSilent();
      return std::nullopt;
    }
    result = answer->header.result;
    if (sink) kept = sink(answer->data);
  }
  std::uint8_t closing[kClosingSize] = {};
  const bool closed = readWhole(platform.clock, *line, closing, kClosingSize, timing.closingLimit) &&
                      closingBytesValid(closing, kClosingSize);
  if (!closed) {
    recordFailure(FailureKind::Transfer, "the dialogue's closing bytes were missing or wrong");
  }
  if (!closed || !kept) return std::nullopt;
  return result;
}

std::int32_t runDialogue(Platform& platform, std::int32_t address, std::int32_t port,
                         const Request& request, const DialogueTiming& timing,
                         const DataSink& sink) {
  return completeDialogue(platform, address, port, request, timing, sink).value_or(kFailed);
}

std::int32_t runDirect(Platform& platform, std::int32_t port, const Packet& packet) {
  link::PortCycle ports(port);
  link::SerialPort line = ports.openNext(platform, link::OpenRoutine::Fingerprint);
  if (!line) return kFailed;
  sendRequest(*line, {packet});
  const std::optional<Answer> answer = readAnswer(platform.clock, *line, kDirectHeaderLimit, true);
  return answer ? answer->header.result : unitSilent();
}

std::int32_t getVersion(Platform& platform, std::int32_t port) {
  return runDirect(platform, port, packet(request::Version));
}

std::int32_t transmitPacket(Platform& platform, std::int32_t port, std::int32_t request,
                            std::int32_t p1, std::int32_t p2, std::int32_t p3, std::int32_t p4) {
  return runDirect(platform, port, customPacket(request, p1, p2, p3, p4));
}

std::int32_t deleteTemplate(Platform& platform, std::int32_t address, std::int32_t port,
                            std::int32_t id, std::int32_t attribute, std::int32_t finger) {
  return runDialogue(platform, address, port,
                     {templatePacket(request::DeleteOne, id, attribute, finger)}, kDialogue);
}

std::int32_t deleteAllTemplates(Platform& platform, std::int32_t address, std::int32_t port) {
  return runDialogue(platform, address, port, {packet(request::DeleteAll), Reads::ClosingOnly},
                     kDialogue);
}

}  // namespace movar::persons
