// Listening TCP sockets on loopback addresses, for the simulator and for raw test peers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/unique_fd.h"

namespace movar::sim {

using posix::UniqueFd;

// The listening socket, or none when `ip` is not an address or is taken.
UniqueFd listenOn(const std::string& ip, std::uint16_t port = 1024, int backlog = 4);

struct LoopbackSocket {
  std::string ip;
  UniqueFd fd;
};

// Listens on the first 127.0.0.x (x from 2 to 254) where `port` is free. Taking the address is
// what allocates it, so test processes running side by side never share one. Throws when none is.
LoopbackSocket listenOnFreeLoopback(std::uint16_t port = 1024, int backlog = 4);

// A loopback address whose `port` refuses connections for as long as the socket lives: bound
// without SO_REUSEADDR and never listening, so no listener can take the address meanwhile.
LoopbackSocket reserveRefusingLoopback(std::uint16_t port = 1024);

}  // namespace movar::sim
