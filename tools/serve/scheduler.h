// Downloads for a service, taken from the store's fleet: each free worker claims the due terminal
// that has waited longest and no collector holds, downloads it and releases it, at most `jobs` at
// once; a heartbeat renews this collector's leases while its downloads run. A terminal held by
// another download (here or in another collector) is never opened, so one slow terminal never
// holds up the others and two collectors never talk to one terminal at once. A terminal is due
// again `every` after its claim; a round begins at each tick and has ended once nothing it could
// claim is due and its downloads are over.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "serve/config.h"
#include "serve/site_state.h"
#include "store/fleet.h"
#include "store/store.h"

namespace movar::serve {

struct Collector {
  std::string name = store::thisCollector();
  std::string host = store::thisHost();
  std::chrono::milliseconds lease{std::chrono::minutes(2)};
};

class Scheduler {
 public:
  Scheduler(store::Store& store, std::string directory, int jobs, SiteState& state, Collector collector);
  ~Scheduler();  // stop()
  // Backups older than this many days are pruned (once in the store); from the next download on.
  void keepBackups(std::optional<int> days);
  // The file's terminals go into the store's fleet; `shared`: the whole fleet is collected, else
  // these alone. A removed terminal's running download finishes.
  void setTerminals(const std::vector<TerminalConfig>& terminals, bool shared, std::chrono::milliseconds every);
  void tick();
  // Nothing new starts; the running downloads finish and are released; returns once they have.
  void stop();

 private:
  void work(std::stop_token stop);
  void heartbeat(std::stop_token stop);
  std::optional<TerminalConfig> claim();
  void run(const TerminalConfig& terminal, std::stop_token stop);
  void noteIdle();

  store::Store& store_;
  std::string directory_;
  SiteState& state_;
  const Collector collector_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::optional<std::vector<std::string>> only_;  // by store name; none: the whole fleet
  std::vector<TerminalConfig> configured_;
  std::chrono::milliseconds every_{std::chrono::minutes(10)};
  std::optional<int> keepDays_;
  std::chrono::steady_clock::time_point nextLook_;  // when an idle worker claims again
  std::optional<std::chrono::steady_clock::time_point> roundBegan_;
  int running_ = 0;
  bool dry_ = false;      // the latest claim found nothing due
  bool looking_ = false;  // a worker claims while dry_
  std::stop_source stop_;
  std::vector<std::jthread> workers_;  // last: they use the members above
};

}  // namespace movar::serve
