#include "serve/service.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

#include "serve/collector_lock.h"
#include "serve/config.h"
#include "serve/http_site.h"
#include "serve/scheduler.h"
#include "serve/site_state.h"
#include "store/location.h"

namespace movar::serve {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kHealthProbe = std::chrono::seconds(10);
constexpr auto kFirstRetry = std::chrono::seconds(1);
constexpr auto kLongestRetry = std::chrono::seconds(60);

// The signals the service acts on, blocked in every thread (they inherit the mask) and taken
// one at a time by the control loop: no handler, no flag shared with one.
class SignalSet {
 public:
  SignalSet() {
    sigemptyset(&set_);
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set_, s);
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~SignalSet() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  // The next signal within `wait`, or 0.
  int next(std::chrono::milliseconds wait) const {
    const auto ms = std::max<long long>(wait.count(), 0);
    const timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000};
    const int s = ::sigtimedwait(&set_, nullptr, &t);
    return s > 0 ? s : 0;
  }

 private:
  sigset_t set_{}, old_{};
};

void say(const std::string& line) {
  std::fprintf(stderr, "movar serve: %s\n", line.c_str());
  std::fflush(stderr);
}

class Service {
 public:
  explicit Service(Config config) : location_(config.store), config_(std::move(config)) {
    state_.configure(config_.terminals, config_.every);
  }

  int run(const SignalSet& signals) {
    HttpSite http({&state_, [this] { return reader(); },
                   [this]() -> std::unique_ptr<store::Store> {
                     if (!reader()) return nullptr;
                     return store::openStore(location_, store::Access::Read);
                   },
                   [this] {
                     std::lock_guard lock(mutex_);
                     return config_.token;
                   }});
    // Before the port: a second collector of one SQLite file is told so, not that the port is taken.
    if (!lockStore(false)) return 2;
    try {
      http.start(config_.listen);
    } catch (const std::exception& e) {
      say(e.what());
      return 1;
    }
    say("listening on " + config_.listen.text() + ", " + std::to_string(config_.terminals.size()) +
        " terminals every " + std::to_string(config_.every.count() / 1000) + " s");
    if (!connect(signals)) return stopped(http);
    if (!lockStore(true)) return stopped(http, 2);
    Scheduler scheduler(*writer_, config_.dir, config_.jobs, state_, {store::thisCollector(), store::thisHost(), config_.lease});
    try {
      scheduler.setTerminals(config_.terminals, config_.sharedFleet, config_.every);
    } catch (const std::exception& e) {
      say("cannot write the terminals into the store's fleet (tried again at SIGHUP): " + std::string(e.what()));
    }
    scheduler.keepBackups(config_.keepDays);
    auto nextRound = Clock::now();
    auto nextProbe = Clock::now() + kHealthProbe;
    for (;;) {
      const auto now = Clock::now();
      if (now >= nextRound) {
        scheduler.tick();
        nextRound += config_.every;
        if (nextRound <= now) nextRound = now + config_.every;  // a round past due is not made up twice
      }
      if (now >= nextProbe) {
        probe();
        nextProbe = now + kHealthProbe;
      }
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(nextRound, nextProbe) - Clock::now());
      const int s = signals.next(std::min(wait, std::chrono::milliseconds(1000)));
      if (s == SIGHUP) {
        reload(scheduler);
      } else if (s != 0) {
        say(std::string("stopping on ") + (s == SIGTERM ? "SIGTERM" : "SIGINT") + ": running downloads finish, none starts");
        state_.stopping();
        scheduler.stop();
        return stopped(http);
      }
    }
  }

 private:
  std::shared_ptr<store::Store> reader() {
    std::lock_guard lock(mutex_);
    return reader_;
  }

  int stopped(HttpSite& http, int status = 0) {
    http.stop();
    say("stopped");
    return status;
  }

  // A SQLite store's one collector; false when another holds it. A folder not there yet is
  // waited for with the store (`mustLock` once it is there).
  bool lockStore(bool mustLock) {
    if (lock_ || store::readLocation(config_.store).kind != store::Location::Kind::Sqlite) return true;
    try {
      lock_.emplace(config_.store);
    } catch (const CollectorLockRefused& e) {
      say(e.what());
      return false;
    } catch (const std::exception& e) {
      if (!mustLock) return true;
      say(e.what());
      return false;
    }
    return true;
  }

  // The store, tried again with a growing pause until it answers and takes writes; false when
  // a stop came first.
  bool connect(const SignalSet& signals) {
    auto pause = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstRetry);
    for (;;) {
      try {
        auto writer = store::openStore(config_.store);
        writer->proveWritable();
        auto reader = store::openStore(config_.store, store::Access::Read);
        writer_ = std::move(writer);
        {
          std::lock_guard lock(mutex_);
          reader_ = std::move(reader);
        }
        state_.storeHealth("");
        return true;
      } catch (const std::exception& e) {
        const std::string why = "the store cannot be reached (tried again in " +
                                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(pause).count()) + " s): " +
                                store::withoutPassword(e.what(), config_.store);
        state_.storeHealth(why);
        say(why);
      }
      for (const auto until = Clock::now() + pause; Clock::now() < until;) {
        const int s = signals.next(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
        if (s == SIGTERM || s == SIGINT) return false;
        if (s == SIGHUP) say("SIGHUP: the configuration is read again once the store is reached");
      }
      pause = std::min(pause * 2, std::chrono::duration_cast<std::chrono::milliseconds>(kLongestRetry));
    }
  }

  void probe() {
    try {
      writer_->proveWritable();
      state_.storeHealth("");
    } catch (const std::exception& e) {
      state_.storeHealth(store::withoutPassword(e.what(), config_.store));
    }
  }

  void reload(Scheduler& scheduler) {
    Config fresh;
    try {
      fresh = readConfig(config_.file);
    } catch (const ConfigError& e) {
      say(std::string("SIGHUP: the new configuration is refused, the running one kept: ") + e.what());
      return;
    }
    for (const auto& [what, changed] : {std::pair{"store", fresh.store != config_.store},
                                        std::pair{"dir", fresh.dir != config_.dir},
                                        std::pair{"jobs", fresh.jobs != config_.jobs},
                                        std::pair{"listen", fresh.listen.text() != config_.listen.text()}}) {
      if (changed) say(std::string("SIGHUP: ") + what + " changes at the next start; the running value is kept");
    }
    fresh.store = config_.store;
    fresh.dir = config_.dir;
    fresh.jobs = config_.jobs;
    fresh.listen = config_.listen;
    {
      std::lock_guard lock(mutex_);
      config_ = fresh;
    }
    state_.configure(config_.terminals, config_.every);
    try {
      scheduler.setTerminals(config_.terminals, config_.sharedFleet, config_.every);
    } catch (const std::exception& e) {
      say("SIGHUP: cannot write the terminals into the store's fleet: " + std::string(e.what()));
    }
    scheduler.keepBackups(config_.keepDays);
    say("SIGHUP: " + std::to_string(config_.terminals.size()) + " terminals every " +
        std::to_string(config_.every.count() / 1000) + " s");
  }

  const std::string location_;  // the store's, which a reload never changes
  Config config_;
  std::mutex mutex_;  // config_'s token and reader_, which HTTP threads read
  SiteState state_;
  std::unique_ptr<store::Store> writer_;
  std::shared_ptr<store::Store> reader_;
  std::optional<CollectorLock> lock_;
};

}  // namespace

int serveSite(const std::string& configPath) {
  // Before any thread, so that every thread inherits the mask.
  const SignalSet signals;
  std::optional<Config> config;
  try {
    config = readConfig(configPath);
  } catch (const ConfigError& e) {
    say(e.what());
    return 2;
  }
  Service service(std::move(*config));
  return service.run(signals);
}

}  // namespace movar::serve
