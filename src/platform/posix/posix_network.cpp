#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace movar::posix {

namespace {

constexpr Millis kConnectLimitMs = 10'000;

class PosixNetStream final : public NetStream {
 public:
  explicit PosixNetStream(UniqueFd fd) : fd_(std::move(fd)) {}

  long send(const std::uint8_t* data, std::size_t n) override {
    for (;;) {
      const ssize_t sent = ::send(fd_.get(), data, n, MSG_NOSIGNAL);
      if (sent >= 0) return static_cast<long>(sent);
      if (errno != EINTR) return -1;
    }
  }

  Received receive(std::uint8_t* buffer, std::size_t capacity, Millis limit) override {
    const Millis deadline = PosixClock{}.now() + limit;
    for (;;) {
      const Millis left = deadline - PosixClock{}.now();
      if (left <= 0) return {0, ReceiveStatus::Timeout};
      pollfd p{fd_.get(), POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return {0, ReceiveStatus::Error};
      if (ready == 0) continue;
      const ssize_t got = ::recv(fd_.get(), buffer, capacity, 0);
      if (got > 0) return {static_cast<std::size_t>(got), ReceiveStatus::Ok};
      if (got == 0) return {0, ReceiveStatus::Closed};
      if (errno != EINTR && errno != EAGAIN) return {0, ReceiveStatus::Error};
    }
  }

 private:
  UniqueFd fd_;
};

}  // namespace

Connection PosixNetwork::connect(const char* ipv4Text, std::uint16_t port) {
  auto failed = [](ConnectError error, int code) {
    return Connection{nullptr, error, std::generic_category().message(code)};
  };
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return failed(ConnectError::Socket, errno);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  // The forms inet_addr takes; a text that is not an address makes the connect fail.
  if (ipv4Text == nullptr || ::inet_aton(ipv4Text, &address.sin_addr) == 0) {
    return failed(ConnectError::Connect, EINVAL);
  }
  // A dead host must not hold the caller for the kernel's two-minute SYN retry.
  const int flags = ::fcntl(fd.get(), F_GETFL);
  ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return failed(ConnectError::Connect, errno);
    pollfd p{fd.get(), POLLOUT, 0};
    int ready = 0;
    const Millis deadline = PosixClock{}.now() + kConnectLimitMs;
    do {
      const Millis left = deadline - PosixClock{}.now();
      if (left <= 0) return failed(ConnectError::Connect, ETIMEDOUT);
      ready = ::poll(&p, 1, static_cast<int>(left));
    } while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    if (ready <= 0 || ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
        error != 0) {
      return failed(ConnectError::Connect, error != 0 ? error : errno);
    }
  }
  ::fcntl(fd.get(), F_SETFL, flags);
  return {std::make_unique<PosixNetStream>(std::move(fd)), ConnectError::None};
}

}  // namespace movar::posix
