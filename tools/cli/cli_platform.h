// The command line's own platform: the POSIX services, record files in --dir, and a progress bar
// on standard error when that is a terminal (otherwise the library's own Linux UI: no window,
// "Open Error" lines on stderr).
#pragma once

#include <string>

#include "platform/posix/posix_platform.h"

namespace movar::cli {

class TerminalUi final : public Ui {
 public:
  explicit TerminalUi(bool progressBars) : progressBars_(progressBars) {}
  std::unique_ptr<ProgressWindow> showProgress(ProgressWindowKind kind) override;
  void messageBox(const std::string& text) override;

 private:
  bool progressBars_;  // and standard error is a terminal
  posix::PosixUi plain_;
};

class CliPlatform {
 public:
  CliPlatform(const std::string& directory, bool progressBars)
      : files_(directory), ui_(progressBars) {}
  Platform& platform() { return platform_; }

 private:
  posix::PosixClock clock_;
  posix::PosixSerialPorts serial_;
  posix::PosixNetwork network_;
  posix::PosixFiles files_;
  TerminalUi ui_;
  Platform platform_{clock_, serial_, network_, files_, ui_};
};

}  // namespace movar::cli
