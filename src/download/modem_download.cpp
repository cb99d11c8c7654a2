#include "download/modem_download.h"

#include <string>

#include "download/record_file.h"
#include "download/serial_wire.h"
#include "link/failure.h"
#include "link/handshake.h"
#include "link/modem.h"
#include "records/conversion.h"

namespace movar::download {

namespace {

constexpr std::uint8_t kDownloadCommand = 0x01;
constexpr Millis kPauseAfterHeader = 10;
constexpr Millis kAckLimit = 3'000;
constexpr int kConnections = 2;  // a connect the terminal does not acknowledge is tried once more
constexpr Millis kClosingPause = 1'000;

// Dials until the terminal acknowledges the download command, twice at most. `line` keeps the
// last line open either way: it closes after the closing pause, with the record file.
bool connectTerminal(Platform& platform, std::uint8_t address, int port, std::string_view number,
                     link::SerialPort& line) {
  link::ModemAttempts attempts;
  for (int connection = 1;; ++connection) {
    line = link::dialModem(platform, port, number, attempts);
    if (!line) return false;
    link::writePreamble(platform.clock, *line, address, kDownloadCommand, kPauseAfterHeader);
    if (link::awaitByte(platform.clock, *line, kAckLimit) == link::control::Ack) return true;
    if (connection == kConnections) {
      recordFailure(FailureKind::NoAnswer, "the terminal at address " + std::to_string(address) +
                                               " did not answer over the modem (" +
                                               std::to_string(kConnections) + " calls)");
      return false;
    }
    port = link::nextPort(port);
    line.reset();
  }
}

}  // namespace

std::int32_t modemDownload(Platform& platform, std::int32_t address, std::int32_t port,
                           const char* phoneNumber) {
  const std::optional<std::string_view> number = link::phoneNumber(phoneNumber);
  if (!number) {
    recordFailure(FailureKind::Argument, "phone number must have 1 to 32 characters");
    return 1;
  }
  const std::unique_ptr<RecordFileLock> held = holdRecordFile(platform.files, "movar.dat");
  if (!held) return 1;
  bool received = false;
  if (std::unique_ptr<File> file = createRecordFile(platform.files, "movar.dat")) {
    DownloadWindow window(platform.ui, ProgressWindowKind::Serial);
    link::SerialPort line;
    if (connectTerminal(platform, link::lowByte(address), port, *number, line)) {
      link::writeByte(*line, link::control::Nak);  // start sending
      SerialWire wire(platform.clock, *line);
      RecordFileSink sink(*file, window);
      received = runBlockTransfer(modemVariant(), wire, sink).success;
    }
    platform.clock.sleep(kClosingPause);
    file.reset();
    line.reset();
    window.destroy();
  } else {
    platform.ui.messageBox(kCreateRecordFileFailed);
  }
  // The text file is rebuilt from whatever the record file holds, on every path.
  const FailureKept cause;
  records::convertAfterDownload(platform);
  return received ? 0 : 1;
}

}  // namespace movar::download
