#include "collect/target.h"

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

}  // namespace movar::collect
