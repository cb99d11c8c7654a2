// The download's record file: payloads appended as they are accepted, progress to the window.
#pragma once

#include <memory>
#include <string>

#include "download/block_transfer.h"
#include "download/progress/download_window.h"
#include "link/failure.h"
#include "platform/platform.h"

namespace movar::download {

inline std::string recordPath(Files& files, const std::string& name) {
  return files.recordDirectory() + name;
}

// The download's record file in the record directory, truncated; null (and the cause recorded)
// when it cannot be created.
inline std::unique_ptr<File> createRecordFile(Files& files, const std::string& name) {
  const std::string path = recordPath(files, name);
  std::unique_ptr<File> file = files.create(path);
  if (!file) recordFileFailure(files, "create", path);
  return file;
}

// The record file, held for one download: two at once would overwrite each other's record and
// text files, and both would erase their terminals. Null, with the cause recorded, when another
// download (this process or another) holds it.
inline std::unique_ptr<RecordFileLock> holdRecordFile(Files& files, const std::string& name) {
  const std::string path = recordPath(files, name);
  std::unique_ptr<RecordFileLock> lock = files.lockRecordFile(path);
  if (!lock) recordFailure(FailureKind::File, path + " is in use by another download");
  return lock;
}

// Shown when the record file cannot be created, whatever its name.
inline constexpr const char* kCreateRecordFileFailed = "can not creat movar.dat!";

class RecordFileSink final : public TransferSink {
 public:
  RecordFileSink(File& file, DownloadWindow& window) : file_(file), window_(window) {}
  bool store(const std::uint8_t* payload, std::size_t n) override {
    if (n == 0 || file_.write(payload, n)) return true;
    recordFailure(FailureKind::File, "cannot write the record file");
    return false;
  }
  void progress(std::uint64_t stored, std::uint64_t announced) override {
    window_.position(stored, announced);
  }

 private:
  File& file_;
  DownloadWindow& window_;
};

}  // namespace movar::download
