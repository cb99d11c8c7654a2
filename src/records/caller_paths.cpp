#include "records/caller_paths.h"

#include <string>

#include "link/failure.h"

namespace movar::records {

namespace {

// Length of a zero-terminated text, reading no further than `limit` + 1 bytes.
std::size_t boundedLength(const char* text, std::size_t limit) {
  std::size_t n = 0;
  while (n <= limit && text[n] != '\0') ++n;
  return n;
}

bool isSeparator(Platform& platform, char c) { return c == '/' || c == platform.files.separator(); }


std::optional<std::string> refused(std::string why) {
  recordFailure(FailureKind::Argument, std::move(why));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> callerDirectory(Platform& platform, const char* directory,
                                           std::size_t longestSuffix) {
  if (directory == nullptr) return refused("no directory given");
  if (longestSuffix >= kMaxPathLength) return refused("file name too long");
  const std::size_t limit = kMaxPathLength - longestSuffix;
  const std::size_t length = boundedLength(directory, limit);
  if (length == 0) return refused("no directory given");
  if (length > limit) {
    return refused("directory longer than " + std::to_string(limit) + " characters");
  }
  std::string path(directory, length);
  if (!isSeparator(platform, path.back())) {
    return refused("directory \"" + path + "\" does not end in a path separator");
  }
  if (!platform.files.isDirectory(path)) return refused("\"" + path + "\" is no directory");
  return path;
}

std::optional<std::string> callerFileName(const char* name) {
  if (name == nullptr) return refused("no file name given");
  const std::size_t length = boundedLength(name, kMaxPathLength);
  if (length > kMaxPathLength) return refused("file name too long");
  std::string text(name, length);
  if (text.find_first_of("/\\:") != std::string::npos) {
    return refused("file name \"" + text + "\" holds a path separator or drive");
  }
  return text;
}

}  // namespace movar::records
