#include "download/lan_download.h"

#include <cstring>
#include <functional>
#include <string>

#include "download/lan_wire.h"
#include "download/memory_commands.h"
#include "download/record_file.h"
#include "link/handshake.h"
#include "link/net_link.h"
#include "records/conversion.h"

namespace movar::download {

namespace {

constexpr std::uint8_t kDownloadCommand = 0x01;
constexpr Millis kConnectFailShown = 50;

struct LanDownloadKind {
  std::uint8_t address = link::kLanAddress;
  std::string fileName;
  Millis pauseBeforeStart = 0;
  Millis endPause = 0;
  bool endPauseAlways = false;  // false: only when a socket was created
  std::function<std::int32_t(Platform&)> convert;
};

const char* connectErrorText(ConnectError error) {
  switch (error) {
    case ConnectError::LibraryStart: return "Winsock error";
    case ConnectError::Socket: return "Error:creat socket fail!";
    case ConnectError::Connect:
    case ConnectError::None: break;
  }
  return "connect fail";
}

// From the record file on; the file closes when this returns.
bool receiveRecords(Platform& platform, link::NetLink& net, DownloadWindow& window,
                    const LanDownloadKind& kind) {
  std::unique_ptr<File> file = createRecordFile(platform.files, kind.fileName);
  if (!file) {
    platform.ui.messageBox(kCreateRecordFileFailed);
    return false;
  }
  if (!net.sendPreamble(kind.address, kDownloadCommand)) {
    window.text("send data fail");
    return false;
  }
  if (!net.awaitAck()) return false;
  if (kind.pauseBeforeStart > 0) platform.clock.sleep(kind.pauseBeforeStart);
  net.sendByte(link::control::Nak);  // start sending
  LanWire wire(platform.clock, net);
  RecordFileSink sink(*file, window);
  return runBlockTransfer(lanVariant(), wire, sink).success;
}

std::int32_t run(Platform& platform, const char* ip, const LanDownloadKind& kind) {
  const std::unique_ptr<RecordFileLock> held = holdRecordFile(platform.files, kind.fileName);
  if (!held) return 1;
  const std::string address = ip ? ip : "";
  bool received = false;
  bool socketMade = false;
  {
    DownloadWindow window(platform.ui, ProgressWindowKind::Lan);
    link::NetLink net = link::NetLink::open(platform, ip);
    if (!net.isOpen()) {
      socketMade = net.error() == ConnectError::Connect;
      window.text(connectErrorText(net.error()));
      platform.clock.sleep(kConnectFailShown);
    } else {
      socketMade = true;
      window.text("connect " + address + " success");
      received = receiveRecords(platform, net, window, kind);
    }
    window.destroy();
    net.close();
  }
  if (kind.endPauseAlways || socketMade) platform.clock.sleep(kind.endPause);
  if (!received) return 1;
  clearFailure();  // causes met on the way to a good transfer (a block asked for again) are none
  eraseAfterDownload(platform, kind.convert(platform), [&] { return lanDeleteRecords(platform, ip); });
  return 0;
}

}  // namespace

std::int32_t lanDownload(Platform& platform, const char* ip) {
  return run(platform, ip,
             {.fileName = "movar.dat",
              .pauseBeforeStart = 20,
              .endPause = 2'000,
              .convert = [](Platform& p) { return records::convertAfterDownload(p); }});
}

std::int32_t lanManyDownload(Platform& platform, const char* ip, std::int32_t fileNumber) {
  return run(platform, ip,
             {.fileName = "movar" + std::to_string(fileNumber) + ".dat",
              .endPause = 1'000,
              .endPauseAlways = true,
              .convert = [fileNumber](Platform& p) {
                return records::convertNumberedDownload(p, fileNumber);
              }});
}

std::int32_t lanDownloadAddressed(Platform& platform, const char* ip, std::int32_t address) {
  const std::int32_t machine = machineFromAddressText(ip);
  return run(platform, ip,
             {.address = link::lowByte(address),
              .fileName = "movar.dat",
              .endPause = 1'000,
              .endPauseAlways = true,
              .convert = [machine](Platform& p) {
                return records::convertAddressDownload(p, machine);
              }});
}

std::int32_t machineFromAddressText(const char* ip) {
  const std::size_t length = ip ? std::strlen(ip) : 0;
  auto digit = [&](std::size_t i) { return ip[i] >= '0' && ip[i] <= '9' ? ip[i] - '0' : 0; };
  if (length == 0) return 0;
  if (length == 1 || ip[length - 2] == '.') return digit(length - 1);
  return digit(length - 2) * 10 + digit(length - 1);
}

}  // namespace movar::download
