#include <windows.h>

#include "platform/win32/win32_platform.h"

namespace movar::win32 {

// Never wraps (unlike GetTickCount), and does not jump with the calendar clock.
Millis Win32Clock::now() { return static_cast<Millis>(::GetTickCount64()); }

void Win32Clock::sleep(Millis ms) {
  if (ms > 0) ::Sleep(static_cast<DWORD>(ms));
}

LocalTime Win32Clock::localTime() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace movar::win32
