// The terminal's side of a fuzzed exchange: every host write (serial) or send (TCP) is answered
// by the next chunk of the fuzz input, a length (two bytes, low first) and that many bytes; then
// silence. The flows run on the fake platform in virtual time, so every wait costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "fakes/fake_platform.h"

namespace movar::fuzz {

class Script {
 public:
  Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  Bytes next();
  bool exhausted() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// The fake platform with the script behind serial ports 1 to 9 and behind the address kIp.
class ScriptedRig {
 public:
  ScriptedRig(const std::uint8_t* data, std::size_t size);
  Platform& platform() { return f.platform; }
  // Aborts (a finding) when a line, socket, file or window was left open, or when the virtual
  // clock shows that the flow would have hung for a day.
  void checkClosed();

  fake::FakePlatform f;

 private:
  std::shared_ptr<Script> script_;
};

}  // namespace movar::fuzz
