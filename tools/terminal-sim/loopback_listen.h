// Listening TCP sockets on loopback addresses, for the simulator and for raw test peers.
#pragma once

#include <cstdint>
#include <string>

#include "unique_fd.h"

namespace movar::sim {

// The listening socket, or none when `ip` is not an address or is taken.
UniqueFd listenOn(const std::string& ip, std::uint16_t port = 1024, int backlog = 4);

}  // namespace movar::sim
