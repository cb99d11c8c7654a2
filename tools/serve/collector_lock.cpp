#include "serve/collector_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/fleet.h"

namespace movar::serve {

CollectorLock::CollectorLock(const std::string& storePath) {
  const std::string path = storePath + ".collector";
  fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd_) throw std::runtime_error("cannot make " + path + ": " + std::strerror(errno));
  if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
    const int why = errno;
    if (why != EWOULDBLOCK) throw std::runtime_error("cannot lock " + path + ": " + std::strerror(why));
    char holder[256] = {};
    const ssize_t got = ::pread(fd_.get(), holder, sizeof holder - 1, 0);
    std::string who = got > 0 ? std::string(holder, static_cast<std::size_t>(got)) : "";
    while (!who.empty() && (who.back() == '\n' || who.back() == ' ')) who.pop_back();
    throw CollectorLockRefused("the store " + storePath + " is collected already by " +
                               (who.empty() ? std::string("another movar serve") : "movar serve " + who) +
                               " (" + path + "); a SQLite store has one collector: share a fleet through PostgreSQL");
  }
  const std::string me = "process " + std::to_string(::getpid()) + " on " + store::thisHost() + "\n";
  if (::ftruncate(fd_.get(), 0) != 0 || ::pwrite(fd_.get(), me.data(), me.size(), 0) != static_cast<ssize_t>(me.size())) {
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  }
}

}  // namespace movar::serve
