// A terminal a tool talks to: over TCP by its address, or on a serial line by its port and
// machine address.
#pragma once

#include <cstdint>
#include <string>

namespace movar::collect {

struct Target {
  enum class Kind { None, Serial, Tcp } kind = Kind::None;
  std::int32_t address = 1;
  std::int32_t port = 1;
  std::string ip;
  std::string text() const;  // "COM1 address 1", "10.1.2.3"
  // The terminal as the store and the record folders name it: its address, or "COM<port>:<address>".
  std::string storeName() const;
  // The target a store name names; Kind::None when it names none.
  static Target fromStoreName(const std::string& name);
};

}  // namespace movar::collect
