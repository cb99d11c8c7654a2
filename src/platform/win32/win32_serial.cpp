#include <windows.h>

#include <string>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_platform.h"

namespace movar::win32 {

namespace {

constexpr DWORD kQueueBytes = 1024;
constexpr DWORD kTimeoutMs = static_cast<DWORD>(kSerialReadGap);

// The driver gives the read semantics the callers expect: back after a kSerialReadGap gap
// following a byte, or after kSerialReadGap * (n + 1) in all.
class Win32SerialLine final : public SerialLine {
 public:
  explicit Win32SerialLine(UniqueHandle handle) : handle_(std::move(handle)) {}

  std::size_t read(std::uint8_t* buffer, std::size_t n) override {
    DWORD got = 0;
    if (!::ReadFile(handle_.get(), buffer, static_cast<DWORD>(n), &got, nullptr)) {
      // A removed adapter fails every read at once: silence, which takes its time, or every
      // wait would spin.
      ::Sleep(static_cast<DWORD>(kSerialReadGap * (static_cast<Millis>(n) + 1)));
      return 0;
    }
    return got;
  }

  void write(const std::uint8_t* data, std::size_t n) override {
    DWORD written = 0;
    ::WriteFile(handle_.get(), data, static_cast<DWORD>(n), &written, nullptr);
  }

 private:
  UniqueHandle handle_;
};

}  // namespace

std::unique_ptr<SerialLine> Win32SerialPorts::open(int port, const LineSettings& settings) {
  if (port < 1 || port > 9) return nullptr;
  const std::string name = "com" + std::string(1, static_cast<char>('0' + port));
  UniqueHandle handle(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  if (!handle) return nullptr;

  // Settings are applied but not checked: a device that refuses one is used as it is.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ::GetCommState(handle.get(), &dcb);
  if (settings.baud != 0) dcb.BaudRate = static_cast<DWORD>(settings.baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  ::SetCommState(handle.get(), &dcb);
  ::SetupComm(handle.get(), kQueueBytes, kQueueBytes);
  COMMTIMEOUTS timeouts{kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs};
  ::SetCommTimeouts(handle.get(), &timeouts);
  return std::make_unique<Win32SerialLine>(std::move(handle));
}

}  // namespace movar::win32
