#include "store/record_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace movar::store {

namespace {

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

RecordFile recordFileKind(const std::string& path) {
  const std::filesystem::path file(path);
  if (lowered(file.extension().string()) != ".dat") return RecordFile::None;
  if (lowered(file.parent_path().filename().string()) == "downbak") return RecordFile::Backup;
  return lowered(file.filename().string()).rfind("movar", 0) == 0 ? RecordFile::Download : RecordFile::None;
}

namespace {

constexpr std::size_t kRecordsAPiece = 1 << 16;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

const char* notAFile(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  if (S_ISFIFO(mode)) return "a FIFO, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
  if (S_ISSOCK(mode)) return "a socket, not a file";
  return "not a regular file";
}

}  // namespace

RecordsRead readRecords(const std::string& path, std::size_t recordSize, const RecordPiece& each) {
  RecordsRead read;
  // Non-blocking, so that opening a FIFO returns instead of waiting for a writer.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat about {};
  if (file.get() < 0 || ::fstat(file.get(), &about) != 0) {
    read.failure = std::strerror(errno);
    return read;
  }
  if (!S_ISREG(about.st_mode)) {
    read.failure = notAFile(about.st_mode);
    return read;
  }
  std::vector<std::uint8_t> buffer(recordSize * kRecordsAPiece);
  std::size_t held = 0;  // bytes of a record not yet whole
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer.data() + held, buffer.size() - held);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      read.failure = std::strerror(errno);
      return read;
    }
    if (got == 0) break;
    held += static_cast<std::size_t>(got);
    const std::size_t whole = held / recordSize;
    if (whole == 0) continue;
    each(buffer.data(), whole);
    read.records += whole;
    const std::size_t rest = held - whole * recordSize;
    std::memmove(buffer.data(), buffer.data() + whole * recordSize, rest);
    held = rest;
  }
  read.strayBytes = held;
  return read;
}

}  // namespace movar::store
