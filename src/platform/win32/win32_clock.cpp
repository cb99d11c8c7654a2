#include <windows.h>
#include <mmsystem.h>

#include "platform/win32/win32_platform.h"

namespace movar::win32 {

namespace {
LONGLONG counterNow() {
  LARGE_INTEGER t{};
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}

// Even at a 1 ms timer period Sleep(n) may return up to a period late, so the last millisecond
// of a fine pause is waited out on the performance counter, yielding the processor meanwhile.
void finePause(Millis ms) {
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  const LONGLONG deadline = counterNow() + frequency.QuadPart * ms / 1000;
  if (ms > 1) ::Sleep(static_cast<DWORD>(ms - 1));
  while (counterNow() < deadline) ::SwitchToThread();
}

constexpr Millis kLongestFinePause = 50;
}  // namespace

Millis Win32Clock::now() { return static_cast<Millis>(::GetTickCount64()); }

void Win32Clock::sleep(Millis ms) {
  if (ms <= 0) return;
  if (fineHolds_.load() > 0 && ms <= kLongestFinePause) {
    finePause(ms);
  } else {
    ::Sleep(static_cast<DWORD>(ms));
  }
}

LocalTime Win32Clock::localTime() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

void Win32Clock::holdFinePauses() {
  ::timeBeginPeriod(1);
  ++fineHolds_;
}

void Win32Clock::releaseFinePauses() {
  --fineHolds_;
  ::timeEndPeriod(1);
}

}  // namespace movar::win32
