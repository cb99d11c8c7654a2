#include "pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "outbox.h"

namespace movar::sim {

namespace {

int baudOf(int slave) {
  termios tio{};
  if (::tcgetattr(slave, &tio) != 0) return 0;
  switch (::cfgetospeed(&tio)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

int stopBitsOf(int slave) {
  termios tio{};
  if (::tcgetattr(slave, &tio) != 0) return 1;
  return (tio.c_cflag & CSTOPB) ? 2 : 1;
}

// Start bit, 8 data bits, stop bits; nanoseconds so the line is not made faster by rounding.
std::chrono::nanoseconds byteTimeOf(int baud, int stopBits) {
  return std::chrono::nanoseconds(baud > 0 ? (9 + stopBits) * 1'000'000'000LL / baud : 0);
}

class PtyLink final : public HostLink {
 public:
  PtyLink(Outbox& outbox, int baud, bool pace, int stopBits)
      : outbox_(outbox), baud_(baud), pace_(pace), stopBits_(stopBits) {}
  void send(const Bytes& bytes, Millis delay) override {
    outbox_.add(bytes, delay, pace_ ? byteTimeOf(baud_, stopBits_) : std::chrono::nanoseconds{0});
  }
  void closeConnection() override {}
  int baud() const override { return baud_; }
  int stopBits() const override { return stopBits_; }

 private:
  Outbox& outbox_;
  int baud_;
  bool pace_;
  int stopBits_;
};

}  // namespace

PtyPort::PtyPort(Terminal& terminal)
    : terminal_(terminal), master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  if (!master_ || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  path_ = ::ptsname(master_.get());
  slave_.reset(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave_) throw std::runtime_error("cannot open " + path_);
  termios tio{};
  ::tcgetattr(slave_.get(), &tio);
  ::cfmakeraw(&tio);  // no echo of our own answers before the host sets the line
  ::cfsetspeed(&tio, B9600);
  ::tcsetattr(slave_.get(), TCSANOW, &tio);
  ::fcntl(master_.get(), F_SETFL, ::fcntl(master_.get(), F_GETFL) | O_NONBLOCK);
  thread_ = std::thread([this] { run(); });
}

PtyPort::~PtyPort() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void PtyPort::run() {
  Outbox outbox;
  auto session = terminal_.newSession();
  LineWatch watch;
  std::uint8_t buffer[4096];
  while (!stop_) {
    int timeoutMs = 5;
    if (!outbox.empty()) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          outbox.nextAt() - std::chrono::steady_clock::now());
      timeoutMs = static_cast<int>(std::clamp<long long>(wait.count(), 0, 5));
    }
    pollfd p{master_.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready > 0 && (p.revents & POLLIN)) {
      const ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
      if (n > 0) {
        const TerminalConfig config = terminal_.config();
        const int baud = baudOf(slave_.get());
        const int stopBits = stopBitsOf(slave_.get());
        // A pty delivers the host's bytes at once; on a paced line they take their time too.
        if (config.paceOutput) {
          outbox.holdUntil(std::chrono::steady_clock::now() + n * byteTimeOf(baud, stopBits));
        }
        PtyLink link(outbox, baud, config.paceOutput, stopBits);
        session->feed(link, buffer, static_cast<std::size_t>(n));
        watch.traffic();
      }
    }
    const Bytes due = outbox.due();
    std::size_t done = 0;
    while (done < due.size()) {
      const ssize_t w = ::write(master_.get(), due.data() + done, due.size() - done);
      if (w <= 0) break;
      done += static_cast<std::size_t>(w);
    }
    if (done < due.size()) outbox.putBack(due, done);
    if (!outbox.empty()) watch.traffic();
    if (watch.fellSilent()) session->lineSilent();
  }
}

}  // namespace movar::sim
