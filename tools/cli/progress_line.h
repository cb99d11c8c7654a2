// A download's progress as one line on standard error, when that is a terminal.
#pragma once

#include <chrono>

#include "collect/host_platform.h"

namespace movar::cli {

// Redrawn in place at most about ten times a second (and at each change of phase); cleared when
// the call returns. Draws nothing when standard error is not a terminal.
class ProgressLine final : public collect::ProgressView {
 public:
  ProgressLine();
  ~ProgressLine() override;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void show(ProgressWindowKind kind) override;
  void draw(collect::Phase phase, const collect::CallActivity& a, const std::string& text,
            bool phaseChanged) override;
  void clear() override;

 private:
  bool onTerminal_;
  bool shown_ = false;
  const char* caption_ = "";
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace movar::cli
