#include "tcp_listener.h"

#include <poll.h>
#include <sys/socket.h>

#include <stdexcept>

#include "outbox.h"

namespace movar::sim {

namespace {

class TcpLink final : public HostLink {
 public:
  explicit TcpLink(Outbox& outbox) : outbox_(outbox) {}
  void send(const Bytes& bytes, Millis delay) override {
    outbox_.add(bytes, delay, std::chrono::nanoseconds{0});
  }
  void closeConnection() override { closeRequested = true; }
  int baud() const override { return 0; }
  bool closeRequested = false;

 private:
  Outbox& outbox_;
};

}  // namespace

TcpListener::TcpListener(Terminal& terminal, const std::string& ip, std::uint16_t port)
    : TcpListener(terminal, LoopbackSocket{ip, listenOn(ip, port)}) {}

TcpListener::TcpListener(Terminal& terminal) : TcpListener(terminal, listenOnFreeLoopback()) {}

TcpListener::TcpListener(Terminal& terminal, LoopbackSocket socket)
    : terminal_(terminal), ip_(std::move(socket.ip)), listener_(std::move(socket.fd)) {
  if (!listener_) throw std::runtime_error("cannot listen on " + ip_);
  thread_ = std::thread([this] { run(); });
}

TcpListener::~TcpListener() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TcpListener::run() {
  std::uint8_t buffer[4096];
  while (!stop_) {
    pollfd p{listener_.get(), POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    const UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) continue;
    ++accepted_;
    Outbox outbox;
    TcpLink link(outbox);
    auto session = terminal_.newSession();
    LineWatch watch;
    bool open = true;
    while (!stop_ && open) {
      int timeoutMs = 5;
      if (!outbox.empty()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            outbox.nextAt() - std::chrono::steady_clock::now());
        timeoutMs = static_cast<int>(std::clamp<long long>(wait.count(), 0, 5));
      }
      pollfd c{client.get(), POLLIN, 0};
      const int ready = ::poll(&c, 1, timeoutMs);
      if (ready > 0 && (c.revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        session->feed(link, buffer, static_cast<std::size_t>(n));
        watch.traffic();
      }
      const Bytes due = outbox.due();
      if (!due.empty() && ::send(client.get(), due.data(), due.size(), MSG_NOSIGNAL) < 0) open = false;
      if (link.closeRequested && outbox.empty()) open = false;
      if (!outbox.empty()) watch.traffic();
      if (watch.fellSilent()) session->lineSilent();
    }
  }
}

}  // namespace movar::sim
