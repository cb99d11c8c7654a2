#include "window_check.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/progress_forms.h"
#include "platform/win32/progress_window.h"
#include "platform/win32/win32_platform.h"
#include "png_file.h"

namespace {

using movar::ProgressWindowKind;

int check(bool ok, const char* what, const std::string& detail = {}) {
  std::printf("%s window %s%s%s\n", ok ? "ok  " : "FAIL", what, detail.empty() ? "" : ": ",
              detail.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

std::string textOf(HWND window) {
  char buffer[256] = {};
  ::GetWindowTextA(window, buffer, sizeof buffer);
  return buffer;
}

std::string sizeText(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// The window as it is on screen, frame and caption included, from the window's own DC.
bool saveScreenshot(HWND window, const std::string& path) {
  RECT r{};
  ::GetWindowRect(window, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = bitmap != nullptr;
  if (ok) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    // PrintWindow under Wine paints only the background; the window DC reads what is shown.
    HDC source = ::GetWindowDC(window);
    ok = ::BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
    ::ReleaseDC(window, source);
    ::GdiFlush();
    ::SelectObject(memory, old);
  }
  if (ok) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    const auto* source = static_cast<const std::uint8_t*>(bits);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* bgr = source + y * stride + x * 3;
        std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3];
        out[0] = bgr[2];
        out[1] = bgr[1];
        out[2] = bgr[0];
      }
    }
    ok = movar_write_png(path.c_str(), width, height, rgb.data()) == 0;
  }
  if (bitmap) ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return ok;
}

HWND childOfClass(HWND parent, const char* className) {
  return ::FindWindowExA(parent, nullptr, className, nullptr);
}

int checkForm(ProgressWindowKind kind, int position, const char* text, const std::string& png) {
  const movar::win32::FormLayout& form = movar::win32::progressForm(kind);
  int failed = 0;
  HWND window = ::FindWindowA(form.className, form.caption);
  failed += check(window != nullptr, form.caption, "found by class and caption");
  if (window == nullptr) return failed;
  failed += check(textOf(window) == form.caption, form.caption, "caption \"" + textOf(window) + "\"");

  RECT outer{};
  ::GetWindowRect(window, &outer);
  failed += check(outer.left == form.left && outer.top == form.top &&
                      outer.right - outer.left == form.width && outer.bottom - outer.top == form.height,
                  form.caption,
                  "outer " + sizeText(outer.right - outer.left, outer.bottom - outer.top) + " at " +
                      std::to_string(outer.left) + "," + std::to_string(outer.top));

  // The client area is the outer size less the frame and caption this system draws.
  RECT frame{0, 0, 0, 0};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongA(window, GWL_EXSTYLE)));
  const int wantWidth = form.width - (frame.right - frame.left);
  const int wantHeight = form.height - (frame.bottom - frame.top);
  RECT client{};
  ::GetClientRect(window, &client);
  failed += check(client.right == wantWidth && client.bottom == wantHeight, form.caption,
                  "client " + sizeText(client.right, client.bottom) + ", expected " +
                      sizeText(wantWidth, wantHeight));

  HWND bar = childOfClass(window, PROGRESS_CLASSA);
  const LRESULT at = bar ? ::SendMessageA(bar, PBM_GETPOS, 0, 0) : -1;
  failed += check(at == position, form.caption, "progress " + std::to_string(at));
  if (text != nullptr) {
    HWND edit = childOfClass(window, "EDIT");
    failed += check(edit && textOf(edit) == text, form.caption, "text \"" + (edit ? textOf(edit) : "") + "\"");
  }

  ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  failed += check(saveScreenshot(window, png), form.caption, png);
  return failed;
}

struct BoxSeen {
  int activations = 0;
  std::string caption, text;
  int buttons = 0, icons = 0;
};
BoxSeen gBoxSeen;  // a CBT hook has no context argument

// The box is not shown yet when it is activated: look at the children's own visible bit.
BOOL CALLBACK surveyChild(HWND child, LPARAM) {
  const LONG style = ::GetWindowLongA(child, GWL_STYLE);
  if ((style & WS_VISIBLE) == 0) return TRUE;
  char cls[64] = {};
  ::GetClassNameA(child, cls, sizeof cls);
  if (_stricmp(cls, "Button") == 0) ++gBoxSeen.buttons;
  if (_stricmp(cls, "Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      if (::SendMessageA(child, STM_GETICON, 0, 0) != 0) ++gBoxSeen.icons;
    }
    else if (!textOf(child).empty()) gBoxSeen.text = textOf(child);
  }
  return TRUE;
}

LRESULT CALLBACK dismissBoxes(int code, WPARAM w, LPARAM l) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(w);
    char cls[64] = {};
    ::GetClassNameA(box, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") == 0) {
      ++gBoxSeen.activations;
      gBoxSeen.caption = textOf(box);
      ::EnumChildWindows(box, surveyChild, 0);
      ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  }
  return ::CallNextHookEx(nullptr, code, w, l);
}

}  // namespace

extern "C" int movar_check_windows(const char* directory) {
  int failed = 0;
  movar::win32::Win32Ui ui;
  HWND serialWindow = nullptr, lanWindow = nullptr;
  {
    auto serial = ui.showProgress(ProgressWindowKind::Serial);
    serial->setPosition(40);
    auto lan = ui.showProgress(ProgressWindowKind::Lan);
    lan->setPosition(70);
    lan->setText("connect 127.0.0.7 success");
    lan->repaint();
    serialWindow = ::FindWindowA("TForm1", "Down loading");
    lanWindow = ::FindWindowA("TForm2", "LAN DOWNLOAD");
    const std::string dir = directory;
    failed += checkForm(ProgressWindowKind::Serial, 40, nullptr, dir + "down-loading.png");
    failed += checkForm(ProgressWindowKind::Lan, 70, "connect 127.0.0.7 success", dir + "lan-download.png");
  }
  failed += check(serialWindow && !::IsWindow(serialWindow) && lanWindow && !::IsWindow(lanWindow),
                  "both", "destroyed with their owners");
  return failed;
}

extern "C" int movar_check_message_box(void) {
  gBoxSeen = {};
  HHOOK hook = ::SetWindowsHookExA(WH_CBT, dismissBoxes, nullptr, ::GetCurrentThreadId());
  movar::win32::Win32Ui ui;
  ui.messageBox("can not creat movar.dat!");
  ::UnhookWindowsHookEx(hook);
  int failed = 0;
  failed += check(gBoxSeen.activations == 1, "message box", "shown and dismissed once");
  failed += check(gBoxSeen.caption == "Open Error", "message box", "caption \"" + gBoxSeen.caption + "\"");
  failed += check(gBoxSeen.text == "can not creat movar.dat!", "message box", "text \"" + gBoxSeen.text + "\"");
  failed += check(gBoxSeen.buttons == 1 && gBoxSeen.icons == 0, "message box",
                  std::to_string(gBoxSeen.buttons) + " button(s), " + std::to_string(gBoxSeen.icons) + " icon(s)");
  return failed;
}
