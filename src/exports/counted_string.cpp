#include "exports/counted_string.h"

#include <atomic>
#include <cstring>

namespace movar::exports {

namespace {

// A header that is not 4-byte aligned cannot be updated atomically and is left uncounted.
bool countable(std::int32_t* count) {
  return reinterpret_cast<std::uintptr_t>(count) %
             std::atomic_ref<std::int32_t>::required_alignment == 0;
}

}  // namespace

CountedString::CountedString(const char* text) {
  if (text == nullptr) return;
  std::int32_t length = 0;
  std::memcpy(&length, text - 4, sizeof length);
  if (length > 0) view_ = std::string_view(text, static_cast<std::size_t>(length));
  negative_ = length < 0;
  auto* count = reinterpret_cast<std::int32_t*>(const_cast<char*>(text) - 8);
  if (!countable(count)) return;
  std::atomic_ref<std::int32_t> shared(*count);
  if (shared.load() <= -1) return;
  shared.fetch_add(1);
  count_ = count;
}

CountedString::~CountedString() {
  if (count_ != nullptr) std::atomic_ref<std::int32_t>(*count_).fetch_sub(1);
}

}  // namespace movar::exports
