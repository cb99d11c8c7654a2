#include "loopback_listen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <stdexcept>

namespace movar::sim {

namespace {

constexpr int kFirstHost = 2;  // 127.0.0.1 is left to everything else on the machine
constexpr int kLastHost = 254;

std::string loopback(int host) { return "127.0.0." + std::to_string(host); }

UniqueFd boundTo(const std::string& ip, std::uint16_t port, bool reuse) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return fd;
  const int yes = 1;
  if (reuse) ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1 ||
      ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    fd.reset();
  }
  return fd;
}

}  // namespace

UniqueFd listenOn(const std::string& ip, std::uint16_t port, int backlog) {
  // A closed peer's TIME_WAIT must not keep the next listener off an address. Two sockets with
  // SO_REUSEADDR may both bind while neither listens; the listen decides which one has it.
  UniqueFd fd = boundTo(ip, port, true);
  if (fd && ::listen(fd.get(), backlog) != 0) fd.reset();
  return fd;
}

LoopbackSocket listenOnFreeLoopback(std::uint16_t port, int backlog) {
  for (int host = kFirstHost; host <= kLastHost; ++host) {
    if (UniqueFd fd = listenOn(loopback(host), port, backlog)) return {loopback(host), std::move(fd)};
  }
  throw std::runtime_error("no free loopback address for port " + std::to_string(port));
}

LoopbackSocket reserveRefusingLoopback(std::uint16_t port) {
  for (int host = kFirstHost; host <= kLastHost; ++host) {
    if (UniqueFd fd = boundTo(loopback(host), port, false)) return {loopback(host), std::move(fd)};
  }
  throw std::runtime_error("no loopback address to reserve for port " + std::to_string(port));
}

}  // namespace movar::sim
