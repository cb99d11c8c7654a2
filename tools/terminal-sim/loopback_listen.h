// A listening TCP socket on one loopback address, for the simulator and for raw test peers.
#pragma once

#include <cstdint>
#include <string>

namespace movar::sim {

// The listening descriptor, or -1 when the address is not one or is taken. The caller closes it.
int listenOn(const std::string& ip, std::uint16_t port = 1024, int backlog = 4);

}  // namespace movar::sim
