// A progress window built from its form table: created and shown by the constructor, destroyed
// by the destructor. It runs no message loop; it paints when told to.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/progress_forms.h"

namespace movar::win32 {

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDeleter>;

struct WindowDestroyer {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// Registered while a window of the class lives, so an unloaded DLL leaves no class behind whose
// window procedure points into freed code.
class WindowClass {
 public:
  WindowClass(const char* name, WNDPROC procedure, HINSTANCE module);
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass();

 private:
  const char* name_;
  HINSTANCE module_;
};

class Win32ProgressWindow final : public ProgressWindow {
 public:
  explicit Win32ProgressWindow(ProgressWindowKind kind);
  ~Win32ProgressWindow() override = default;

  void setPosition(int percent) override;
  void setText(const std::string& text) override;
  void repaint() override;

  // For tests: the top-level window, or null when it could not be created (no display).
  HWND handle() const { return window_.get(); }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT colourStatic(HDC dc, HWND control);
  void createControls();

  const FormLayout& form_;
  // Destroyed bottom-up: the window (and its controls) before the fonts and brushes they use,
  // the class last.
  WindowClass class_;
  std::vector<UniqueGdiObject> gdiObjects_;
  std::vector<HGDIOBJ> backgrounds_;  // per control; owned above or a system brush
  UniqueWindow window_;
  HWND progressBar_ = nullptr;
  HWND edit_ = nullptr;
};

}  // namespace movar::win32
