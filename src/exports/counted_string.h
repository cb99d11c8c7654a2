// A host string passed as a pointer to its first byte, with its int32 length at -4 and its int32
// reference count at -8. The count is raised for the life of the view and lowered after, with
// locked operations, unless it is -1 or less (a string that is never counted). A null pointer is
// the empty string. The library never frees the host's string.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace movar::exports {

class CountedString {
 public:
  explicit CountedString(const char* text);
  ~CountedString();
  CountedString(const CountedString&) = delete;
  CountedString& operator=(const CountedString&) = delete;

  // The length comes from the header, never from a search for a zero byte; a negative length
  // reads as empty.
  std::string_view view() const { return view_; }
  // As view(), but nothing for a negative length: a text that cannot be sent as it stands.
  std::optional<std::string_view> text() const {
    return negative_ ? std::nullopt : std::optional<std::string_view>(view_);
  }

 private:
  std::int32_t* count_ = nullptr;  // null when the string is not counted
  std::string_view view_;
  bool negative_ = false;
};

// A zero-terminated text argument; null is empty.
inline std::string_view zeroTerminated(const char* text) {
  return text == nullptr ? std::string_view{} : std::string_view(text);
}

}  // namespace movar::exports
