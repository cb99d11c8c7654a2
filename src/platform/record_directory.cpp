#include "platform/record_directory.h"


namespace movar {

namespace {

#if defined(_WIN32)
constexpr std::size_t kLongestDirectory = 259;  // MAX_PATH less the terminating zero
#else
constexpr std::size_t kLongestDirectory = 4095;  // PATH_MAX less the terminating zero
#endif

thread_local std::string tlsRecordDirectory;  // empty: the default

std::string withSeparator(std::string directory, char separator) {
  if (!directory.empty() && directory.back() != separator && directory.back() != '/') {
    directory += separator;
  }
  return directory;
}

}  // namespace

bool setThreadRecordDirectory(const char* directory, char separator) {
  if (directory == nullptr || *directory == '\0') {
    tlsRecordDirectory.clear();
    return true;
  }
  std::string chosen = withSeparator(directory, separator);
  if (chosen.size() > kLongestDirectory) return false;
  tlsRecordDirectory = std::move(chosen);
  return true;
}

std::string preferredRecordDirectory(char separator, const char* environment) {
  if (!tlsRecordDirectory.empty()) return tlsRecordDirectory;
  if (environment == nullptr || *environment == '\0') return {};
  return withSeparator(environment, separator);
}

}  // namespace movar
