#include "store/origin.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/posix/unique_fd.h"

namespace movar::store {

namespace {

std::runtime_error failure(const std::string& what, const std::string& path) {
  return std::runtime_error("cannot " + what + " " + path + ": " + std::strerror(errno));
}

void writeAll(int fd, const std::string& text, const std::string& path) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw failure("write", path);
    at += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::vector<std::string> originsOf(const std::string& folder) {
  std::vector<std::string> names;
  std::ifstream in(std::filesystem::path(folder) / kOriginFile);
  for (std::string line; std::getline(in, line);) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    if (std::find(names.begin(), names.end(), line) == names.end()) names.push_back(line);
  }
  return names;
}

void noteOrigin(const std::string& folder, const std::string& terminal) {
  std::vector<std::string> names = originsOf(folder);
  if (std::find(names.begin(), names.end(), terminal) != names.end()) return;
  names.push_back(terminal);
  std::string text;
  for (const std::string& name : names) text += name + "\n";

  const std::string path = (std::filesystem::path(folder) / kOriginFile).string();
  const std::string part = path + ".part";
  {
    const posix::UniqueFd fd(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) throw failure("create", part);
    writeAll(fd.get(), text, part);
    if (::fsync(fd.get()) != 0) throw failure("sync", part);
  }
  if (::rename(part.c_str(), path.c_str()) != 0) throw failure("rename over", path);
  const posix::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir || ::fsync(dir.get()) != 0) throw failure("sync the folder", folder);
}

}  // namespace movar::store
