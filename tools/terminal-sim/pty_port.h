// A terminal on a pseudo-terminal: the host opens path() as its serial device.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "terminal.h"
#include "platform/posix/unique_fd.h"

namespace movar::sim {

using posix::UniqueFd;

class PtyPort {
 public:
  explicit PtyPort(Terminal& terminal);
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  const std::string& path() const { return path_; }

 private:
  void run();
  Terminal& terminal_;
  UniqueFd master_;
  UniqueFd slave_;  // held open so the line survives the host's closes and its termios is readable
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace movar::sim
