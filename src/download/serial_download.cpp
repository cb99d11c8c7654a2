#include "download/serial_download.h"

#include <optional>

#include "download/memory_commands.h"
#include "download/record_file.h"
#include "download/serial_wire.h"
#include "link/failure.h"
#include "link/handshake.h"
#include "records/conversion.h"

namespace movar::download {

namespace {
constexpr std::uint8_t kDownloadCommand = 0x01;
constexpr Millis kAckLimit = 1'000;
constexpr Millis kClosingPause = 1'000;  // before closing the port and again after
}  // namespace

std::int32_t serialDownload(Platform& platform, std::int32_t address, std::int32_t port) {
  const std::unique_ptr<RecordFileLock> held = holdRecordFile(platform.files, "movar.dat");
  if (!held) return 1;
  bool received = false;
  int answeredPort = 0;
  {
    DownloadWindow window(platform.ui, ProgressWindowKind::Serial);
    std::unique_ptr<File> file = createRecordFile(platform.files, "movar.dat");
    if (!file) {
      platform.ui.messageBox(kCreateRecordFileFailed);
    } else {
      std::optional<link::FoundTerminal> found = link::findTerminal(
          platform, link::lowByte(address), kDownloadCommand, link::serialSearch(kAckLimit), port);
      if (found) {
        answeredPort = found->port;
        link::writeByte(*found->line, link::control::Nak);  // start sending
        SerialWire wire(platform.clock, *found->line);
        RecordFileSink sink(*file, window);
        received = runBlockTransfer(serialVariant(), wire, sink).success;
      }
      platform.clock.sleep(kClosingPause);
      found.reset();
      file.reset();
      platform.clock.sleep(kClosingPause);
    }
  }
  // Causes met on the way to a good transfer (a block asked for again) are none.
  if (received) clearFailure();
  // The text file is rebuilt from whatever the record file holds, also after a failure.
  std::int32_t converted = 0;
  {
    const FailureKept cause;
    converted = records::convertAfterDownload(platform);
  }
  if (!received) return 1;
  eraseAfterDownload(platform, converted,
                     [&] { return deleteRecordsOnPort(platform, address, answeredPort); });
  return 0;
}

}  // namespace movar::download
