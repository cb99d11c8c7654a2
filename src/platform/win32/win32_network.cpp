#include <winsock2.h>

#include <string>
#include <utility>

#include "platform/win32/system_message.h"
#include "platform/win32/win32_platform.h"

namespace movar::win32 {

namespace {

constexpr Millis kConnectLimitMs = 10'000;

class UniqueSocket {
 public:
  explicit UniqueSocket(SOCKET s) : s_(s) {}
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  ~UniqueSocket() {
    if (s_ != INVALID_SOCKET) ::closesocket(s_);
  }
  SOCKET get() const { return s_; }
  explicit operator bool() const { return s_ != INVALID_SOCKET; }
  SOCKET release() { return std::exchange(s_, INVALID_SOCKET); }

 private:
  SOCKET s_;
};

timeval timeoutOf(Millis ms) {
  return {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
}

class Win32NetStream final : public NetStream {
 public:
  explicit Win32NetStream(SOCKET s) : socket_(s) {}

  long send(const std::uint8_t* data, std::size_t n) override {
    const int sent =
        ::send(socket_.get(), reinterpret_cast<const char*>(data), static_cast<int>(n), 0);
    return sent == SOCKET_ERROR ? -1 : sent;
  }

  // recv alone would wait for ever on a silent terminal; select bounds the wait.
  Received receive(std::uint8_t* buffer, std::size_t capacity, Millis limit) override {
    Win32Clock clock;
    const Millis deadline = clock.now() + limit;
    for (;;) {
      const Millis left = deadline - clock.now();
      if (left <= 0) return {0, ReceiveStatus::Timeout};
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(socket_.get(), &readable);
      timeval timeout = timeoutOf(left);
      const int ready = ::select(0, &readable, nullptr, nullptr, &timeout);
      if (ready == SOCKET_ERROR) return {0, ReceiveStatus::Error};
      if (ready == 0) continue;
      const int got = ::recv(socket_.get(), reinterpret_cast<char*>(buffer),
                             static_cast<int>(capacity), 0);
      if (got > 0) return {static_cast<std::size_t>(got), ReceiveStatus::Ok};
      return {0, got == 0 ? ReceiveStatus::Closed : ReceiveStatus::Error};
    }
  }

 private:
  UniqueSocket socket_;
};

// A dead host must not hold the caller for the stack's own SYN retries (about 21 s). On failure
// `reason` says why.
bool connectWithin(SOCKET s, const sockaddr_in& address, Millis limit, std::string& reason) {
  u_long nonBlocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (const int code = ::WSAGetLastError(); code != WSAEWOULDBLOCK) {
      reason = systemMessage(static_cast<DWORD>(code));
      return false;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval timeout = timeoutOf(limit);
    const int ready = ::select(0, nullptr, &writable, &failed, &timeout);
    if (ready <= 0 || FD_ISSET(s, &failed) || !FD_ISSET(s, &writable)) {
      int code = 0;
      int length = sizeof code;
      ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length);
      reason = ready == 0 ? "no answer within " + std::to_string(limit / 1000) + " s"
                          : systemMessage(static_cast<DWORD>(code));
      return false;
    }
  }
  u_long blocking = 0;
  return ::ioctlsocket(s, FIONBIO, &blocking) == 0;
}

}  // namespace

// Each call starts the socket library again and never shuts it down, so a host that uses
// Winsock itself is never cut off by us.
Connection Win32Network::connect(const char* ipv4Text, std::uint16_t port) {
  WSADATA data{};
  if (const int code = ::WSAStartup(MAKEWORD(2, 0), &data); code != 0) {
    return {nullptr, ConnectError::LibraryStart, systemMessage(static_cast<DWORD>(code))};
  }
  UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
  if (!s) {
    return {nullptr, ConnectError::Socket, systemMessage(static_cast<DWORD>(::WSAGetLastError()))};
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = ::htons(port);
  address.sin_addr.s_addr = ipv4Text ? ::inet_addr(ipv4Text) : INADDR_NONE;
  // INADDR_NONE is also "255.255.255.255", which no terminal has.
  std::string reason = "not an IPv4 address";
  if (address.sin_addr.s_addr == INADDR_NONE ||
      !connectWithin(s.get(), address, kConnectLimitMs, reason)) {
    return {nullptr, ConnectError::Connect, reason};
  }
  auto stream = std::make_unique<Win32NetStream>(s.release());
  return {std::move(stream), ConnectError::None};
}

}  // namespace movar::win32
