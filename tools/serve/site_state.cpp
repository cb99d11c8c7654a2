#include "serve/site_state.h"

namespace movar::serve {

void SiteState::configure(std::vector<TerminalConfig> terminals, std::chrono::milliseconds every) {
  std::lock_guard lock(mutex_);
  site_.terminals = std::move(terminals);
  site_.every = every;
}

void SiteState::ticked() {
  std::lock_guard lock(mutex_);
  site_.lastTick = std::chrono::steady_clock::now();
}

void SiteState::roundEnded(double seconds) {
  std::lock_guard lock(mutex_);
  site_.lastRoundSeconds = seconds;
}

void SiteState::started(const std::string& terminal) {
  std::lock_guard lock(mutex_);
  site_.counters[terminal].running = true;
}

void SiteState::finished(const std::string& terminal, double seconds, bool ok, long long stored) {
  std::lock_guard lock(mutex_);
  TerminalCounters& c = site_.counters[terminal];
  c.running = false;
  c.lastSeconds = seconds;
  if (!ok) ++c.failures;
  c.stored += stored;
}

void SiteState::storeHealth(std::string problem) {
  std::lock_guard lock(mutex_);
  site_.storeProblem = std::move(problem);
}

void SiteState::stopping() {
  std::lock_guard lock(mutex_);
  site_.stopping = true;
}

SiteSnapshot SiteState::snapshot() const {
  std::lock_guard lock(mutex_);
  return site_;
}

}  // namespace movar::serve
