// The download's record file: payloads appended as they are accepted, progress to the window.
#pragma once

#include <memory>
#include <string>

#include "download/block_transfer.h"
#include "download/progress/download_window.h"
#include "platform/platform.h"

namespace movar::download {

inline std::string recordPath(Files& files, const std::string& name) {
  return files.recordDirectory() + name;
}

// Shown when the record file cannot be created, whatever its name.
inline constexpr const char* kCreateRecordFileFailed = "can not creat movar.dat!";

class RecordFileSink final : public TransferSink {
 public:
  RecordFileSink(File& file, DownloadWindow& window) : file_(file), window_(window) {}
  bool store(const std::uint8_t* payload, std::size_t n) override {
    return n == 0 || file_.write(payload, n);
  }
  void progress(std::uint64_t stored, std::uint64_t announced) override {
    window_.position(stored, announced);
  }

 private:
  File& file_;
  DownloadWindow& window_;
};

}  // namespace movar::download
