#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"
#include "platform/record_directory.h"

namespace movar::posix {

namespace {

class PosixFile final : public File {
 public:
  explicit PosixFile(UniqueFd fd) : fd_(std::move(fd)) {}

  std::optional<std::size_t> read(std::uint8_t* buffer, std::size_t n) override {
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = ::read(fd_.get(), buffer + got, n - got);
      if (r > 0) {
        got += static_cast<std::size_t>(r);
      } else if (r == 0) {
        break;
      } else if (errno != EINTR) {
        return std::nullopt;
      }
    }
    return got;
  }

  bool write(const std::uint8_t* data, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(fd_.get(), data + done, n - done);
      if (w > 0) {
        done += static_cast<std::size_t>(w);
      } else if (w < 0 && errno != EINTR) {
        return false;
      }
    }
    return true;
  }

  bool seek(std::uint64_t position) override {
    return ::lseek(fd_.get(), static_cast<off_t>(position), SEEK_SET) >= 0;
  }
  bool seekEnd() override { return ::lseek(fd_.get(), 0, SEEK_END) >= 0; }

 private:
  UniqueFd fd_;
};

// O_NOFOLLOW: a link planted where a record file goes would have attendance lines written over
// whatever it points at.
std::unique_ptr<File> openWith(const std::string& path, int flags) {
  UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd) return nullptr;
  return std::make_unique<PosixFile>(std::move(fd));
}

using PosixRecordFileLock = HandleLock<UniqueFd>;

}  // namespace

std::string PosixFiles::recordDirectory() {
  if (!recordDirectory_.empty()) {
    return recordDirectory_.back() == '/' ? recordDirectory_ : recordDirectory_ + '/';
  }
  std::string preferred = preferredRecordDirectory('/', std::getenv("MOVAR_RECORD_DIR"));
  if (!preferred.empty()) return preferred;
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "./";
  std::string path(buffer, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

std::unique_ptr<File> PosixFiles::create(const std::string& path) {
  return openWith(path, O_RDWR | O_CREAT | O_TRUNC);
}
// A directory opens for reading on POSIX but not on Windows; refused here too, so both products
// report it as a file that cannot be opened.
std::unique_ptr<File> PosixFiles::openRead(const std::string& path) {
  if (isDirectory(path)) {
    errno = EISDIR;
    return nullptr;
  }
  return openWith(path, O_RDONLY);
}
std::unique_ptr<File> PosixFiles::openReadWrite(const std::string& path) {
  return openWith(path, O_RDWR);
}
std::unique_ptr<File> PosixFiles::openOrCreate(const std::string& path) {
  return openWith(path, O_RDWR | O_CREAT);
}

bool PosixFiles::exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool PosixFiles::isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFiles::makeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }

bool PosixFiles::copyNoOverwrite(const std::string& from, const std::string& to) {
  UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!in) return false;
  UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!out) return false;
  PosixFile source(std::move(in));
  PosixFile target(std::move(out));
  std::uint8_t buffer[1 << 16];
  for (;;) {
    const std::optional<std::size_t> n = source.read(buffer, sizeof buffer);
    if (!n) return false;
    if (*n == 0) return true;
    if (!target.write(buffer, *n)) return false;
  }
}

bool PosixFiles::move(const std::string& from, const std::string& to) {
  // link+unlink refuses an existing target, as MoveFile does; rename would replace it.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  return ::unlink(from.c_str()) == 0;
}

bool PosixFiles::replace(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFiles::remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool PosixFiles::sync(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return false;
  int result;
  do {
    result = ::fsync(fd.get());
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool PosixFiles::isPlainDirectory(const std::string& path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat st {};
  return ::lstat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// flock on the record file itself: nothing is left behind, the download's own create (which
// truncates) keeps the inode and with it the lock, and each open is a lock of its own, so two
// threads of one host exclude each other as two processes do.
std::unique_ptr<RecordFileLock> PosixFiles::lockRecordFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd) return std::make_unique<PosixRecordFileLock>();
  int result;
  do {
    result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return errno == EWOULDBLOCK ? nullptr : std::make_unique<PosixRecordFileLock>();
  return std::make_unique<PosixRecordFileLock>(std::move(fd));
}

std::string PosixFiles::lastErrorText() { return std::generic_category().message(errno); }

}  // namespace movar::posix
