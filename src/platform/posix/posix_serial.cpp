#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace movar::posix {

namespace {

speed_t speedFor(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    default: return B0;
  }
}

std::string devicePath(int port) {
  const std::string variable = "MOVAR_COM" + std::to_string(port);
  if (const char* mapped = std::getenv(variable.c_str())) return mapped;
  return "/dev/ttyS" + std::to_string(port - 1);
}

Millis monotonicMs() { return PosixClock{}.now(); }

void sleepUntil(Millis until) { PosixClock{}.sleep(until - monotonicMs()); }

class PosixSerialLine final : public SerialLine {
 public:
  explicit PosixSerialLine(UniqueFd fd) : fd_(std::move(fd)) {}

  std::size_t read(std::uint8_t* buffer, std::size_t n) override {
    if (n == 0) return 0;
    const Millis deadline = monotonicMs() + kSerialReadGap * static_cast<Millis>(n) + kSerialReadGap;
    std::size_t got = 0;
    Millis lastByte = 0;
    while (got < n) {
      const Millis now = monotonicMs();
      const Millis until = got == 0 ? deadline : std::min(deadline, lastByte + kSerialReadGap);
      if (now >= until) break;
      pollfd p{fd_.get(), POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(until - now));
      if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
      bool gone = ready < 0 || !(p.revents & POLLIN);
      if (!gone) {
        const ssize_t r = ::read(fd_.get(), buffer + got, n - got);
        if (r > 0) {
          got += static_cast<std::size_t>(r);
          lastByte = monotonicMs();
          continue;
        }
        gone = r == 0 || (errno != EAGAIN && errno != EINTR);
      }
      // A hung-up line (an unplugged adapter, a pty whose other side closed) reports at once on
      // every poll; it reads as silence, and silence takes its time, or every wait would spin.
      if (gone) {
        sleepUntil(until);
        break;
      }
    }
    return got;
  }

  void write(const std::uint8_t* data, std::size_t n) override {
    std::size_t done = 0;
    const Millis deadline = monotonicMs() + kSerialReadGap * static_cast<Millis>(n) + kSerialReadGap;
    while (done < n) {
      const ssize_t w = ::write(fd_.get(), data + done, n - done);
      if (w > 0) {
        done += static_cast<std::size_t>(w);
        continue;
      }
      if (w < 0 && errno != EAGAIN && errno != EINTR) return;
      const Millis now = monotonicMs();
      if (now >= deadline) return;
      pollfd p{fd_.get(), POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(deadline - now));
    }
  }

 private:
  UniqueFd fd_;
};

}  // namespace

std::unique_ptr<SerialLine> PosixSerialPorts::open(int port, const LineSettings& settings) {
  if (port < 1 || port > 9) return nullptr;
  UniqueFd fd(::open(devicePath(port).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return nullptr;
  // Exclusive like an unshared Windows handle: TIOCEXCL stops other openers (not root), the lock
  // stops other instances of this library (root included).
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
  ::ioctl(fd.get(), TIOCEXCL);

  // Settings are applied but not checked: a device that refuses one is used as it is.
  termios tio{};
  if (::tcgetattr(fd.get(), &tio) == 0) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8;
    if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (const speed_t speed = speedFor(settings.baud); speed != B0) {
      ::cfsetispeed(&tio, speed);
      ::cfsetospeed(&tio, speed);
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd.get(), TCSANOW, &tio);
  }
  // Stale input goes; output does not: bytes the previous call wrote just before it closed the
  // port (a confirmation, a cancel) may still be on their way to the terminal.
  ::tcflush(fd.get(), TCIFLUSH);
  return std::make_unique<PosixSerialLine>(std::move(fd));
}

}  // namespace movar::posix
