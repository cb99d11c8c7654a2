// What the service knows beyond the store's collection log: downloads running now, what each
// terminal's downloads cost and brought since the start, the rounds' timing, the store's health.
// Written by the scheduler, read by the HTTP side; one lock, held only to copy.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serve/config.h"

namespace movar::serve {

struct TerminalCounters {
  bool running = false;
  double lastSeconds = 0;          // the latest download's duration
  long long failures = 0;          // since the service started
  long long stored = 0;            // facts new in the store, since the service started
};

struct SiteSnapshot {
  std::vector<TerminalConfig> terminals;  // as configured, in the file's order
  std::map<std::string, TerminalCounters> counters;  // by store name
  std::chrono::milliseconds every{0};
  std::optional<double> lastRoundSeconds;
  std::optional<std::chrono::steady_clock::time_point> lastTick;
  std::string storeProblem;  // empty while the store takes writes
  bool stopping = false;
};

class SiteState {
 public:
  void configure(std::vector<TerminalConfig> terminals, std::chrono::milliseconds every);
  void ticked();
  void roundEnded(double seconds);
  void started(const std::string& terminal);
  void finished(const std::string& terminal, double seconds, bool ok, long long stored);
  void storeHealth(std::string problem);
  void stopping();
  SiteSnapshot snapshot() const;

 private:
  mutable std::mutex mutex_;
  SiteSnapshot site_;
};

}  // namespace movar::serve
