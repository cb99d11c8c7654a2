#include "cli_platform.h"

#include <unistd.h>

#include <cstdio>

namespace movar::cli {

namespace {

constexpr int kBarWidth = 40;

// One line redrawn in place; cleared when the transfer ends.
class ProgressBar final : public ProgressWindow {
 public:
  explicit ProgressBar(const char* caption) : caption_(caption) { draw(); }
  ~ProgressBar() override { std::fprintf(stderr, "\r\033[K"); }
  void setPosition(int percent) override {
    percent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    draw();
  }
  void setText(const std::string& text) override {
    text_ = text;
    draw();
  }
  void repaint() override {}

 private:
  void draw() const {
    const int filled = percent_ * kBarWidth / 100;
    std::fprintf(stderr, "\r\033[K%s [%.*s%*s] %3d%% %s", caption_, filled,
                 "########################################", kBarWidth - filled, "", percent_,
                 text_.c_str());
    std::fflush(stderr);
  }
  const char* caption_;
  std::string text_;
  int percent_ = 0;
};

}  // namespace

std::unique_ptr<ProgressWindow> TerminalUi::showProgress(ProgressWindowKind kind) {
  if (!progressBars_ || ::isatty(STDERR_FILENO) == 0) return plain_.showProgress(kind);
  return std::make_unique<ProgressBar>(kind == ProgressWindowKind::Lan ? "LAN DOWNLOAD" : "Down loading");
}

void TerminalUi::messageBox(const std::string& text) { plain_.messageBox(text); }

}  // namespace movar::cli
