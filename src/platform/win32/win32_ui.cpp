#include <windows.h>

#include "platform/win32/progress_window.h"
#include "platform/win32/win32_platform.h"

namespace movar::win32 {

std::unique_ptr<ProgressWindow> Win32Ui::showProgress(ProgressWindowKind kind) {
  return std::make_unique<Win32ProgressWindow>(kind);
}

// Owned by no window, one OK button, no icon.
void Win32Ui::messageBox(const std::string& text) {
  ::MessageBoxA(nullptr, text.c_str(), "Open Error", MB_OK);
}

}  // namespace movar::win32
