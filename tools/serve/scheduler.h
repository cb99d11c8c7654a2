// Rounds for a service: at each tick every terminal that is not still downloading is queued, at
// most `jobs` download at once; a terminal still busy from an earlier round is left to finish
// and skipped, so one slow terminal never holds up the others. A round has ended when the
// downloads it started have.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "serve/config.h"
#include "serve/site_state.h"
#include "store/store.h"

namespace movar::serve {

class Scheduler {
 public:
  Scheduler(store::Store& store, std::string directory, int jobs, SiteState& state);
  // Backups older than this many days are pruned (once in the store); from the next download on.
  void keepBackups(std::optional<int> days);
  ~Scheduler();  // stop()
  // A new list takes effect at the next tick; a removed terminal's running download finishes.
  void setTerminals(std::vector<TerminalConfig> terminals);
  void tick();
  // Nothing new starts; the running downloads finish; returns once they have.
  void stop();

 private:
  struct Round {
    std::chrono::steady_clock::time_point began;
    std::size_t left = 0;
  };
  struct Job {
    TerminalConfig terminal;
    std::shared_ptr<Round> round;
  };
  void work(std::stop_token stop);
  void run(const Job& job, std::stop_token stop);

  store::Store& store_;
  std::string directory_;
  SiteState& state_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::vector<TerminalConfig> terminals_;
  std::optional<int> keepDays_;
  std::deque<Job> queue_;
  std::set<std::string> busy_;  // queued or running, by store name
  std::stop_source stop_;
  std::vector<std::jthread> workers_;  // last: they use the members above
};

}  // namespace movar::serve
