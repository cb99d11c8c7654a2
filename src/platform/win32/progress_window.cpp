#include "platform/win32/progress_window.h"

#include <commctrl.h>

namespace movar::win32 {

namespace {

constexpr UINT kSetPosition = 0x0402;  // PBM_SETPOS
constexpr int kFirstControlId = 100;

HINSTANCE thisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&thisModule), &module);
  return module;
}

const char* controlClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label: return "STATIC";
    case ControlKind::ProgressBar: return PROGRESS_CLASSA;
    case ControlKind::Edit: return "EDIT";
  }
  return "STATIC";
}

DWORD controlStyle(ControlKind kind) {
  const DWORD common = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    // Labels keep to one line and clip, as the form designer's labels do.
    case ControlKind::Label: return common | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
    case ControlKind::ProgressBar: return common;
    case ControlKind::Edit: return common | ES_LEFT | ES_AUTOHSCROLL;
  }
  return common;
}

}  // namespace

WindowClass::WindowClass(const char* name, WNDPROC procedure, HINSTANCE module)
    : name_(name), module_(module) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = module;
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = name;
  // Already registered means a window of this class is alive on another thread; share it.
  ::RegisterClassExA(&wc);
}

// Fails harmlessly while another window of the class still exists; the last one out succeeds.
WindowClass::~WindowClass() { ::UnregisterClassA(name_, module_); }

Win32ProgressWindow::Win32ProgressWindow(ProgressWindowKind kind)
    : form_(progressForm(kind)), class_(form_.className, &procedure, thisModule()) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  window_.reset(::CreateWindowExA(0, form_.className, form_.caption, WS_OVERLAPPEDWINDOW,
                                  form_.left, form_.top, form_.width, form_.height, nullptr,
                                  nullptr, thisModule(), this));
  if (!window_) return;  // no desktop to show it on: the download runs without a window
  createControls();
  ::ShowWindow(window_.get(), SW_SHOW);
  ::UpdateWindow(window_.get());
}

void Win32ProgressWindow::createControls() {
  int id = kFirstControlId;
  for (const ControlLayout& item : form_.controls) {
    HWND control = ::CreateWindowExA(item.kind == ControlKind::Edit ? WS_EX_CLIENTEDGE : 0,
                                     controlClass(item.kind), item.text, controlStyle(item.kind),
                                     item.left, item.top, item.width, item.height, window_.get(),
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)),
                                     thisModule(), nullptr);
    HGDIOBJ background = ::GetSysColorBrush(COLOR_BTNFACE);
    if (item.background != kSystemColour) {
      gdiObjects_.emplace_back(::CreateSolidBrush(item.background));
      background = gdiObjects_.back().get();
    }
    backgrounds_.push_back(background);
    if (control == nullptr) continue;
    if (item.font.face != nullptr) {
      gdiObjects_.emplace_back(::CreateFontW(
          item.font.height, 0, 0, 0, item.font.weight, FALSE, FALSE, FALSE, item.font.charset,
          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
          item.font.face));
      ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(gdiObjects_.back().get()),
                     FALSE);
    }
    if (item.kind == ControlKind::ProgressBar) {
      progressBar_ = control;
      ::SendMessageA(control, PBM_SETRANGE32, 0, 100);
    }
    if (item.kind == ControlKind::Edit) edit_ = control;
  }
}

void Win32ProgressWindow::setPosition(int percent) {
  if (progressBar_ != nullptr) ::SendMessageA(progressBar_, kSetPosition, static_cast<WPARAM>(percent), 0);
}

void Win32ProgressWindow::setText(const std::string& text) {
  if (edit_ != nullptr) ::SetWindowTextA(edit_, text.c_str());
}

void Win32ProgressWindow::repaint() {
  if (window_) {
    ::RedrawWindow(window_.get(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
}

LRESULT Win32ProgressWindow::colourStatic(HDC dc, HWND control) {
  const int index = ::GetDlgCtrlID(control) - kFirstControlId;
  if (index < 0 || static_cast<std::size_t>(index) >= form_.controls.size()) {
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
  }
  const ControlLayout& item = form_.controls[static_cast<std::size_t>(index)];
  ::SetTextColor(dc, item.textColour != kSystemColour ? item.textColour
                                                       : ::GetSysColor(COLOR_WINDOWTEXT));
  ::SetBkColor(dc, item.background != kSystemColour ? item.background
                                                     : ::GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(backgrounds_[static_cast<std::size_t>(index)]);
}

LRESULT CALLBACK Win32ProgressWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(l);
    ::SetWindowLongPtrA(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32ProgressWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_CTLCOLORSTATIC:
      if (self != nullptr) {
        return self->colourStatic(reinterpret_cast<HDC>(w), reinterpret_cast<HWND>(l));
      }
      break;
    case WM_CLOSE:
      return 0;  // only the download that made the window ends it
    default:
      break;
  }
  return ::DefWindowProcA(window, message, w, l);
}

}  // namespace movar::win32
