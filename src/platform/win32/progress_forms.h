// The two progress windows as data: one window implementation builds either from its table.
#pragma once

#include <windows.h>

#include <span>

#include "platform/platform.h"

namespace movar::win32 {

struct FontStyle {
  const wchar_t* face = nullptr;  // null: the control keeps the system font
  int height = 0;                 // negative: character height in pixels
  int weight = FW_NORMAL;
  BYTE charset = DEFAULT_CHARSET;
};

enum class ControlKind { Label, ProgressBar, Edit };

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kSilver = RGB(192, 192, 192);
constexpr COLORREF kSystemColour = CLR_INVALID;  // window text / button face

struct ControlLayout {
  ControlKind kind;
  int left, top, width, height;  // client coordinates
  const char* text;
  FontStyle font;
  COLORREF textColour = kSystemColour;
  COLORREF background = kSystemColour;
};

// Positions and sizes are in pixels at 96 dpi; width and height of a form are its outer size,
// frame and caption included, as the form designer gives them.
struct FormLayout {
  const char* className;
  const char* caption;
  int left, top, width, height;
  std::span<const ControlLayout> controls;
};

const FormLayout& progressForm(ProgressWindowKind kind);

}  // namespace movar::win32
