#include "records/caller_paths.h"

namespace movar::records {

namespace {

// Length of a zero-terminated text, reading no further than `limit` + 1 bytes.
std::size_t boundedLength(const char* text, std::size_t limit) {
  std::size_t n = 0;
  while (n <= limit && text[n] != '\0') ++n;
  return n;
}

bool isSeparator(Platform& platform, char c) { return c == '/' || c == platform.files.separator(); }

}  // namespace

std::optional<std::string> callerDirectory(Platform& platform, const char* directory,
                                           std::size_t longestSuffix) {
  if (directory == nullptr || longestSuffix >= kMaxPathLength) return std::nullopt;
  const std::size_t limit = kMaxPathLength - longestSuffix;
  const std::size_t length = boundedLength(directory, limit);
  if (length == 0 || length > limit) return std::nullopt;
  std::string path(directory, length);
  if (!isSeparator(platform, path.back())) return std::nullopt;
  if (!platform.files.isDirectory(path)) return std::nullopt;
  return path;
}

std::optional<std::string> callerFileName(const char* name) {
  if (name == nullptr) return std::nullopt;
  const std::size_t length = boundedLength(name, kMaxPathLength);
  if (length > kMaxPathLength) return std::nullopt;
  std::string text(name, length);
  if (text.find_first_of("/\\:") != std::string::npos) return std::nullopt;
  return text;
}

}  // namespace movar::records
