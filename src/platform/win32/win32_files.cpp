#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/record_directory.h"
#include "platform/win32/system_message.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_platform.h"

namespace movar::win32 {

namespace {

class Win32File final : public File {
 public:
  explicit Win32File(UniqueHandle handle) : handle_(std::move(handle)) {}

  std::optional<std::size_t> read(std::uint8_t* buffer, std::size_t n) override {
    std::size_t got = 0;
    while (got < n) {
      DWORD part = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - got, 1u << 30));
      if (!::ReadFile(handle_.get(), buffer + got, want, &part, nullptr)) return std::nullopt;
      if (part == 0) break;
      got += part;
    }
    return got;
  }

  bool write(const std::uint8_t* data, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      DWORD part = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
      if (!::WriteFile(handle_.get(), data + done, want, &part, nullptr) || part == 0) return false;
      done += part;
    }
    return true;
  }

  bool seek(std::uint64_t position) override {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(position);
    return ::SetFilePointerEx(handle_.get(), to, nullptr, FILE_BEGIN) != 0;
  }
  bool seekEnd() override {
    return ::SetFilePointerEx(handle_.get(), LARGE_INTEGER{}, nullptr, FILE_END) != 0;
  }

 private:
  UniqueHandle handle_;
};

bool isLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A link planted where a record file goes would have attendance lines written over whatever it
// points at: never opened for writing.
std::unique_ptr<File> openWith(const std::string& path, DWORD access, DWORD disposition) {
  if ((access & GENERIC_WRITE) != 0 && isLink(path)) {
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return nullptr;
  }
  UniqueHandle handle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return nullptr;
  return std::make_unique<Win32File>(std::move(handle));
}

using Win32RecordFileLock = HandleLock<UniqueHandle>;

constexpr const char* kLockSuffix = ".lock";

}  // namespace

std::string Win32Files::recordDirectory() {
  // The process environment, not the C runtime's copy of it, which misses what a host set later.
  char environment[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableA("MOVAR_RECORD_DIR", environment, MAX_PATH);
  std::string preferred =
      preferredRecordDirectory('\\', length > 0 && length < MAX_PATH ? environment : nullptr);
  if (!preferred.empty()) return preferred;
  // Paths longer than MAX_PATH exist; grow until the name fits.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".\\";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return ".\\";
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.rfind('\\') + 1);
}

std::unique_ptr<File> Win32Files::create(const std::string& path) {
  return openWith(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
}
std::unique_ptr<File> Win32Files::openRead(const std::string& path) {
  return openWith(path, GENERIC_READ, OPEN_EXISTING);
}
std::unique_ptr<File> Win32Files::openReadWrite(const std::string& path) {
  return openWith(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
}
std::unique_ptr<File> Win32Files::openOrCreate(const std::string& path) {
  return openWith(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
}

bool Win32Files::exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32Files::isDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Files::makeDirectory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool Win32Files::copyNoOverwrite(const std::string& from, const std::string& to) {
  return ::CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

bool Win32Files::move(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool Win32Files::replace(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool Win32Files::remove(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool Win32Files::sync(const std::string& path) {
  const bool directory = isDirectory(path);
  UniqueHandle handle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING,
                                    directory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  // NTFS keeps directory entries in its journal, which a file's flush commits; a folder that
  // cannot be opened for flushing (no backup right) is no failure.
  if (!handle) return directory;
  return ::FlushFileBuffers(handle.get()) != 0 || directory;
}

bool Win32Files::isPlainDirectory(const std::string& path) {
  std::string name = path;
  while (name.size() > 3 && (name.back() == '\\' || name.back() == '/')) name.pop_back();
  const DWORD attributes = ::GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// A lock file beside the record file, opened without sharing and removed when closed: a second
// download of the same record file fails to open it, whether it runs in this process or another.
// (The record file itself cannot be held so: the download opens it again to write.)
std::unique_ptr<RecordFileLock> Win32Files::lockRecordFile(const std::string& path) {
  const std::string name = path + kLockSuffix;
  UniqueHandle handle(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!handle) {
    return ::GetLastError() == ERROR_SHARING_VIOLATION ? nullptr
                                                       : std::make_unique<Win32RecordFileLock>();
  }
  return std::make_unique<Win32RecordFileLock>(std::move(handle));
}

std::string Win32Files::lastErrorText() { return systemMessage(::GetLastError()); }

}  // namespace movar::win32
