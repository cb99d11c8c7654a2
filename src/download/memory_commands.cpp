#include "download/memory_commands.h"

#include "link/handshake.h"
#include "link/net_link.h"

namespace movar::download {

namespace {

struct SerialCommand {
  std::uint8_t code;
  Millis ackLimit;
};

constexpr SerialCommand kDelete{0x0D, 3'000};
constexpr SerialCommand kRestore{0x0C, 1'000};
constexpr SerialCommand kRestoreAll{0x0F, 1'000};
constexpr std::uint8_t kLanDelete = 0x0D;
constexpr std::uint8_t kLanRestoreAll = 0x0F;

// The acknowledgement is the whole answer; the port closes as the found line goes out of scope.
std::int32_t acknowledged(Platform& platform, const SerialCommand& command, std::int32_t address,
                          std::int32_t port, bool onePort = false) {
  link::SearchPolicy policy = link::serialSearch(command.ackLimit);
  policy.onePort = onePort;
  return link::findTerminal(platform, link::lowByte(address), command.code, policy, port) ? 0 : 1;
}

}  // namespace

std::int32_t deleteRecords(Platform& platform, std::int32_t address, std::int32_t port) {
  return acknowledged(platform, kDelete, address, port);
}

std::int32_t deleteRecordsOnPort(Platform& platform, std::int32_t address, std::int32_t port) {
  return acknowledged(platform, kDelete, address, port, true);
}

std::int32_t restoreRecords(Platform& platform, std::int32_t address, std::int32_t port) {
  return acknowledged(platform, kRestore, address, port);
}

std::int32_t restoreAllRecords(Platform& platform, std::int32_t address, std::int32_t port) {
  return acknowledged(platform, kRestoreAll, address, port);
}

std::int32_t lanDeleteRecords(Platform& platform, const char* ip) {
  link::NetLink net = link::NetLink::open(platform, ip);
  if (!net.isOpen()) return 1;
  // Not awaited: the terminal's silence is not an error here.
  return net.sendPreamble(link::kLanAddress, kLanDelete) ? 0 : 1;
}

std::int32_t lanRestoreAllRecords(Platform& platform, const char* ip) {
  link::NetLink net = link::NetLink::open(platform, ip);
  if (!net.isOpen() || !net.sendPreamble(link::kLanAddress, kLanRestoreAll)) return 1;
  return net.awaitAck() ? 0 : 1;
}

}  // namespace movar::download
