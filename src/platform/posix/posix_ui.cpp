#include <cstdio>

#include "platform/posix/posix_platform.h"
#include "platform/progress_hook.h"

namespace movar::posix {

namespace {

// Forwards the window's life to the host's hook, when one is installed.
class HookedProgressWindow final : public ProgressWindow {
 public:
  HookedProgressWindow(movar_progress_hook hook, void* context, int kind)
      : hook_(hook), context_(context) {
    hook_(context_, MOVAR_PROGRESS_SHOW, kind, nullptr);
  }
  ~HookedProgressWindow() override { hook_(context_, MOVAR_PROGRESS_DESTROY, 0, nullptr); }
  void setPosition(int percent) override {
    hook_(context_, MOVAR_PROGRESS_POSITION, percent, nullptr);
  }
  void setText(const std::string& text) override {
    hook_(context_, MOVAR_PROGRESS_TEXT, 0, text.c_str());
  }
  void repaint() override {}

 private:
  movar_progress_hook hook_;
  void* context_;
};

class NoWindow final : public ProgressWindow {
 public:
  void setPosition(int) override {}
  void setText(const std::string&) override {}
  void repaint() override {}
};

}  // namespace

std::unique_ptr<ProgressWindow> PosixUi::showProgress(ProgressWindowKind kind) {
  const ProgressHook hook = currentProgressHook();
  if (hook.function == nullptr) return std::make_unique<NoWindow>();
  return std::make_unique<HookedProgressWindow>(hook.function, hook.context,
                                                kind == ProgressWindowKind::Serial ? 1 : 2);
}

void PosixUi::messageBox(const std::string& text) {
  std::fprintf(stderr, "Open Error: %s\n", text.c_str());
}

}  // namespace movar::posix
