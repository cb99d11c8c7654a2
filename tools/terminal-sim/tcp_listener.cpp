#include "tcp_listener.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <optional>
#include <stdexcept>

#include "outbox.h"

namespace movar::sim {

namespace {

// After an accept fails for want of descriptors or memory the connection stays queued and the
// listener readable: waiting this long is what keeps the thread from spinning on it.
constexpr std::chrono::milliseconds kAcceptPause{100};

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

// Rounded up: a wake-up that came early would find nothing due and poll again at once.
int millisUntil(SteadyTime at) {
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(at - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(wait.count(), 0, 60'000));
}

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

bool mayPass(int acceptError) {
  return acceptError == EAGAIN || acceptError == EWOULDBLOCK || acceptError == ECONNABORTED ||
         acceptError == EINTR;
}

}  // namespace

TcpListener::TcpListener(Terminal& terminal, const std::string& ip, std::uint16_t port, OnRefused onRefused)
    : TcpListener(terminal, LoopbackSocket{ip, listenOn(ip, port)}, std::move(onRefused)) {}

TcpListener::TcpListener(Terminal& terminal, OnRefused onRefused)
    : TcpListener(terminal, listenOnFreeLoopback(), std::move(onRefused)) {}

TcpListener::TcpListener(Terminal& terminal, LoopbackSocket socket, OnRefused onRefused)
    : terminal_(terminal),
      ip_(std::move(socket.ip)),
      listener_(std::move(socket.fd)),
      wake_(::eventfd(0, EFD_CLOEXEC)),
      onRefused_(std::move(onRefused)) {
  if (!listener_) throw std::runtime_error("cannot listen on " + ip_);
  if (!wake_) throw std::runtime_error("no event descriptor for " + ip_);
  // A connection the host gives up between the poll and the accept must not block the accept.
  ::fcntl(listener_.get(), F_SETFL, ::fcntl(listener_.get(), F_GETFL) | O_NONBLOCK);
  thread_ = std::thread([this] { run(); });
}

TcpListener::~TcpListener() { stop(); }

void TcpListener::stop() {
  const std::uint64_t one = 1;
  if (::write(wake_.get(), &one, sizeof one) < 0) {
    // The counter cannot overflow from one write; nothing else can fail it.
  }
  if (thread_.joinable()) thread_.join();
}

bool TcpListener::idle(int timeoutMs) const {
  pollfd p{wake_.get(), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) == 0;
}

void TcpListener::run() {
  while (true) {
    pollfd p[]{{listener_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    const int ready = ::poll(p, 2, -1);
    if (p[1].revents) return;
    if (ready < 0 && !idle(static_cast<int>(kAcceptPause.count()))) return;
    if (!(p[0].revents & POLLIN)) continue;
    const UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
      if (!mayPass(errno) && !idle(static_cast<int>(kAcceptPause.count()))) return;
      continue;
    }
    ++accepted_;
    serve(client);
  }
}

// False when the accept failed for want of resources: the caller looks away from the listener.
bool TcpListener::refuseOne() {
  const UniqueFd extra(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!extra) return mayPass(errno);
  const int refused = ++refused_;
  if (onRefused_) onRefused_(ip_, refused);
  return true;
}

void TcpListener::serve(const UniqueFd& client) {
  std::uint8_t buffer[4096];
  Outbox outbox;
  TcpLink link(outbox);
  auto session = terminal_.newSession();
  LineWatch watch;
  std::optional<SteadyTime> listenerAwayUntil;
  while (true) {
    if (listenerAwayUntil && *listenerAwayUntil <= std::chrono::steady_clock::now()) listenerAwayUntil.reset();
    // Nothing wakes the thread but the host, the stop, and the times below: no polling.
    std::optional<SteadyTime> wakeAt = watch.silentAt();
    for (const auto& at : {outbox.empty() ? std::nullopt : std::optional{outbox.nextAt()}, listenerAwayUntil}) {
      if (at && (!wakeAt || *at < *wakeAt)) wakeAt = at;
    }
    pollfd p[]{{client.get(), POLLIN, 0}, {listenerAwayUntil ? -1 : listener_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(p, 3, wakeAt ? millisUntil(*wakeAt) : -1) < 0 && errno != EINTR) return;
    if (p[2].revents) return;
    if (p[0].revents) {
      const ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
      if (n <= 0) return;
      session->feed(link, buffer, static_cast<std::size_t>(n));
      watch.traffic();
    }
    // The session's own bytes first: a host that closed and at once connected again has its close
    // seen here, and the new connection is served next instead of refused.
    if ((p[1].revents & POLLIN) && !readable(client.get()) && !refuseOne()) {
      listenerAwayUntil = std::chrono::steady_clock::now() + kAcceptPause;
    }
    const Bytes due = outbox.due();
    if (!due.empty() && ::send(client.get(), due.data(), due.size(), MSG_NOSIGNAL) < 0) return;
    if (link.closeRequested && outbox.empty()) return;
    if (!outbox.empty()) watch.traffic();
    if (watch.fellSilent()) session->lineSilent();
  }
}

}  // namespace movar::sim
