// A counted string as hosts build it: reference count (1), length, the bytes, a zero.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace movar::testkit {

class Counted {
 public:
  explicit Counted(std::string_view bytes) : Counted(bytes, static_cast<std::int32_t>(bytes.size())) {}
  // A length of the test's choosing, true or not.
  Counted(std::string_view bytes, std::int32_t length) : words_(3 + bytes.size() / 4, 0) {
    words_[0] = 1;
    words_[1] = length;
    std::memcpy(&words_[2], bytes.data(), bytes.size());
  }
  const char* text() const { return reinterpret_cast<const char*>(&words_[2]); }
  std::int32_t count() const { return words_[0]; }

 private:
  std::vector<std::int32_t> words_;
};

}  // namespace movar::testkit
