#include "platform/win32/progress_forms.h"

namespace movar::win32 {

namespace {

constexpr wchar_t kSansSerif[] = L"MS Sans Serif";
constexpr wchar_t kHeiTi[] = L"\u9ED1\u4F53";  // "Hei Ti", a GB2312 face

// Every control that shows text has a font of its own, so the forms' default fonts (MS Sans Serif
// -19 red, and -11) reach nothing visible and are left out.

// "Down loading": serial and modem downloads.
constexpr ControlLayout kForm1Controls[] = {
    {ControlKind::Label, 80, 8, 229, 25, "NORVALE ELECTRONIC",
     {L"Verdana", -20, FW_NORMAL, ANSI_CHARSET}, kRed, kSilver},
    {ControlKind::Label, 88, 80, 218, 20, "DATA DOWNLOADING ... ...",
     {kSansSerif, -16, FW_NORMAL, DEFAULT_CHARSET}, kRed},
    {ControlKind::ProgressBar, 16, 48, 353, 17, nullptr, {}},
};

// "LAN DOWNLOAD": TCP downloads, with a text field for the connection messages.
constexpr ControlLayout kForm2Controls[] = {
    {ControlKind::Label, 48, 88, 210, 20, "DATA DOWNLOADING ... ",
     {kHeiTi, -20, FW_NORMAL, GB2312_CHARSET}, kRed},
    {ControlKind::Label, 104, 8, 267, 29, "NORVALE ELECTRONIC",
     {L"Arial", -24, FW_BOLD, ANSI_CHARSET}, kRed},
    {ControlKind::ProgressBar, 48, 48, 377, 25, nullptr, {}},
    {ControlKind::Edit, 256, 88, 169, 24, "", {kSansSerif, -13, FW_NORMAL, DEFAULT_CHARSET}},
};

constexpr FormLayout kForm1{"TForm1", "Down loading", 206, 174, 396, 148, kForm1Controls};
constexpr FormLayout kForm2{"TForm2", "LAN DOWNLOAD", 195, 163, 482, 164, kForm2Controls};

}  // namespace

const FormLayout& progressForm(ProgressWindowKind kind) {
  return kind == ProgressWindowKind::Serial ? kForm1 : kForm2;
}

}  // namespace movar::win32
