#include "collect/target.h"

#include <cstdio>

namespace movar::collect {

std::string Target::text() const {
  switch (kind) {
    case Kind::Serial: return "COM" + std::to_string(port) + " address " + std::to_string(address);
    case Kind::Tcp: return ip;
    case Kind::None: break;
  }
  return "";
}

std::string Target::storeName() const {
  if (kind == Kind::Tcp) return ip;
  return "COM" + std::to_string(port) + ":" + std::to_string(address);
}

Target Target::fromStoreName(const std::string& name) {
  unsigned port = 0, address = 0;
  char colon = 0, end = 0;
  if (std::sscanf(name.c_str(), "COM%u%c%u%c", &port, &colon, &address, &end) == 3 && colon == ':' &&
      port >= 1 && port <= 255 && address <= 255 && name == "COM" + std::to_string(port) + ":" + std::to_string(address)) {
    return {Kind::Serial, static_cast<std::int32_t>(address), static_cast<std::int32_t>(port), ""};
  }
  unsigned a, b, c, d;
  if (std::sscanf(name.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) == 4 && a < 256 && b < 256 && c < 256 && d < 256) {
    return {Kind::Tcp, 0, 0, name};
  }
  return {};
}

}  // namespace movar::collect
