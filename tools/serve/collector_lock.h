// A SQLite store has one collector: the first `movar serve` on a file holds a lock beside it
// (FILE.collector, naming its process) for as long as it runs; a second one is refused in words.
// The lock is the kernel's, so a collector that died holds nothing.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/posix/unique_fd.h"

namespace movar::serve {

class CollectorLock {
 public:
  // Throws CollectorLockRefused naming the holder, or std::runtime_error when the lock file
  // cannot be made.
  explicit CollectorLock(const std::string& storePath);

 private:
  posix::UniqueFd fd_;
};

class CollectorLockRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace movar::serve
