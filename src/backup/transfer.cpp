#include "backup/transfer.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_frame.h"
#include "link/failure.h"
#include "link/serial_port.h"
#include "link/timed_read.h"

namespace movar::backup {

namespace {

constexpr Millis kAnswerSilence = 10'000;
constexpr Millis kReadRequestSilence = 20'000;
constexpr Millis kFrameSilence = 10'000;
constexpr int kFileAttempts = 5;
constexpr int kMaxRefusals = 3;
constexpr std::size_t kFirstPiece = 1000;  // the rest of a received frame comes in two reads
constexpr std::uint8_t kReceivedMark[] = {0x01, 0x36, 0x02};
constexpr std::uint8_t kDeviceSuccess[] = {0x02, 0x36, 0x00};

std::string backupPath(Files& files) { return files.recordDirectory() + "zwbak.txt"; }

template <typename Open>
std::unique_ptr<File> openWithRetries(Platform& platform, const char* message,
                                      std::string_view action, Open open) {
  const std::string path = backupPath(platform.files);
  for (int attempt = 0; attempt < kFileAttempts; ++attempt) {
    if (std::unique_ptr<File> file = open(path)) return file;
    recordFileFailure(platform.files, action, path);
    platform.ui.messageBox(message);
  }
  return nullptr;
}

bool failed(FailureKind kind, std::string text) {
  recordFailure(kind, std::move(text));
  return false;
}

// True when exactly `n` bytes came before the line fell silent for longer than `silence`.
bool readExactly(Clock& clock, SerialLine& line, std::uint8_t* into, std::size_t n, Millis silence) {
  return link::readFrame(clock, line, into, n, silence).got == n;
}

// One 18-byte answer (a frame without payload; a longer one is not read on).
std::optional<FrameHead> readAnswer(Clock& clock, SerialLine& line, Millis silence) {
  std::array<std::uint8_t, kFrameOverhead> answer{};
  if (!readExactly(clock, line, answer.data(), answer.size(), silence)) return std::nullopt;
  return readHead(answer);
}

bool openingExchange(Clock& clock, SerialLine& line) {
  writePaced(clock, line, openingRequest());
  const std::optional<FrameHead> answer = readAnswer(clock, line, kAnswerSilence);
  if (!answer) return failed(FailureKind::NoAnswer, "no device answered the backup's opening");
  if (needsConfirmation(answer->flags)) writePaced(clock, line, openingConfirmation(answer->sequence));
  return true;
}

enum class Received { Frame, Dropped, Failed };

// One data frame into `area`: six bytes, then the rest in at most two reads.
Received receiveFrame(Clock& clock, SerialLine& line, std::vector<std::uint8_t>& area) {
  std::uint8_t* at = area.data();
  if (!readExactly(clock, line, at, kLengthPrefix, kFrameSilence)) return Received::Failed;
  const std::size_t length = announcedLength({at, kLengthPrefix});
  if (length > kMaxReceivedPayload) return Received::Failed;  // would not fit the area
  const std::size_t rest = length + kFrameOverhead - kLengthPrefix;
  const std::size_t first = std::min(rest, kFirstPiece);
  if (!readExactly(clock, line, at + kLengthPrefix, first, kFrameSilence)) return Received::Failed;
  if (rest > first &&
      !readExactly(clock, line, at + kLengthPrefix + first, rest - first, kFrameSilence)) {
    return Received::Failed;
  }
  return checksumHolds({at, length + kFrameOverhead}) ? Received::Frame : Received::Dropped;
}

bool receiveLoop(Clock& clock, SerialLine& line, File& file) {
  std::vector<std::uint8_t> area(kReceiveArea);
  std::optional<std::uint16_t> firstSequence;
  std::uint16_t accepted = 0;
  for (;;) {
    const Received received = receiveFrame(clock, line, area);
    if (received == Received::Failed) return false;
    if (received == Received::Dropped) continue;  // no answer: the device decides what follows
    const FrameHead head = *readHead(area);
    if (!firstSequence) firstSequence = head.sequence;
    // A payload that cannot be stored must not be acknowledged as taken.
    if (head.length > 0 && !file.write(area.data() + kHeadSize, head.length)) return false;
    writePaced(clock, line, receiveAcknowledgement(accepted, head, head.sequence != *firstSequence));
    ++accepted;
    if (head.more != 1) return true;
  }
}

// Sends one data frame until the device takes it; false when it ends the transfer.
bool sendDataFrame(Clock& clock, SerialLine& line, const Bytes& frame, std::size_t length,
                   int& refusals) {
  for (;;) {
    writePaced(clock, line, frame);
    const std::optional<FrameHead> answer = readAnswer(clock, line, kAnswerSilence);
    if (!answer) return false;
    if (answer->flags & flag::Ack) return answer->acknowledged == ((length + 1) & 0xFFFF);
    if (++refusals >= kMaxRefusals) return false;
  }
}

// The device's verdict on the data, acknowledged whatever it says.
bool readResult(Clock& clock, SerialLine& line) {
  std::vector<std::uint8_t> area(kAnswerArea);
  if (!readExactly(clock, line, area.data(), kLengthPrefix, kFrameSilence)) return false;
  const std::size_t length = announcedLength({area.data(), kLengthPrefix});
  if (length > kMaxAnswerPayload) return false;
  const std::size_t rest = length + kFrameOverhead - kLengthPrefix;
  if (!readExactly(clock, line, area.data() + kLengthPrefix, rest, kFrameSilence)) return false;
  const FrameHead head = *readHead(area);
  writePaced(clock, line, resultAcknowledgement(head));
  return length >= sizeof kDeviceSuccess &&
         std::equal(std::begin(kDeviceSuccess), std::end(kDeviceSuccess), area.begin() + kHeadSize);
}

}  // namespace

void writePaced(Clock& clock, SerialLine& line, const Bytes& frame) {
  for (std::uint8_t b : frame) {
    line.write(&b, 1);
    clock.sleep(1);
  }
}

std::int32_t receiveBackup(Platform& platform, std::int32_t port) {
  Clock& clock = platform.clock;
  FinePauses fine(clock);
  const link::SerialPort opened = link::PortCycle(port).openNext(platform, link::OpenRoutine::Backup);
  if (!opened) return 1;
  SerialLine& line = *opened;
  if (!openingExchange(clock, line)) return 1;
  writePaced(clock, line, readRequest());
  const std::optional<FrameHead> answer = readAnswer(clock, line, kReadRequestSilence);
  if (!answer || !(answer->flags & flag::Ack) || answer->acknowledged != 3) {
    return failed(answer ? FailureKind::Refused : FailureKind::NoAnswer,
                  "the device did not take the backup's read request"),
           1;
  }
  std::unique_ptr<File> file = openWithRetries(platform, "can not creat zwbak.txt!", "create",
                                               [&](const std::string& path) {
                                                 return platform.files.create(path);
                                               });
  if (!file) return 1;  // nowhere to keep what the device would send
  const bool complete = receiveLoop(clock, line, *file);
  if (!complete) failed(FailureKind::Transfer, "the backup broke off before its last frame");
  // On every ending, a failed one too: the file goes back to a device with these leading bytes.
  const bool marked = file->seek(0) && file->write(kReceivedMark, sizeof kReceivedMark);
  if (complete && !marked) failed(FailureKind::File, "cannot mark " + backupPath(platform.files));
  file.reset();
  clock.sleep(1);  // then the port closes
  return complete && marked ? 0 : 1;
}

std::int32_t sendBackup(Platform& platform, std::int32_t port) {
  Clock& clock = platform.clock;
  FinePauses fine(clock);
  std::unique_ptr<File> file = openWithRetries(platform, "can not open zwbak.txt!", "open",
                                               [&](const std::string& path) {
                                                 return platform.files.openRead(path);
                                               });
  // Without a file the device still hears the opening; the missing file is the cause to tell.
  std::optional<FailureKept> missingFile;
  if (!file) missingFile.emplace();
  const link::SerialPort opened = link::PortCycle(port).openNext(platform, link::OpenRoutine::Backup);
  if (!opened) return 1;
  SerialLine& line = *opened;
  bool sent = false;
  if (openingExchange(clock, line)) {
    clock.sleep(30);
    std::vector<std::uint8_t> piece(kMaxDataPayload);
    std::optional<std::size_t> got = file ? file->read(piece.data(), piece.size()) : std::nullopt;
    // A file of fewer than four bytes is not sent.
    bool going = got && *got >= 4;
    if (file && !going) {
      failed(FailureKind::File, got ? backupPath(platform.files) + " holds fewer than 4 bytes"
                                    : "cannot read " + backupPath(platform.files));
    }
    int refusals = 0;
    for (std::uint16_t block = 0; going; ++block) {
      const bool more = *got == kMaxDataPayload;
      const Bytes frame = dataFrame(block, more, {piece.data(), *got});
      going = sendDataFrame(clock, line, frame, *got, refusals);
      if (!going) {
        failed(FailureKind::Transfer,
               "the device did not take backup frame " + std::to_string(block));
      }
      if (going && !more) {
        sent = readResult(clock, line) ||
               failed(FailureKind::Refused, "the device did not confirm the backup");
        break;
      }
      if (going) {
        got = file->read(piece.data(), piece.size());
        going = got.has_value();  // a read error is not the end of the file
      }
    }
    file.reset();
    clock.sleep(1);  // then the port closes
  }
  return sent ? 0 : 1;
}

}  // namespace movar::backup
