// Each configured terminal as a person reading the page should see it: the collection log's
// facts about it, the service's counters, and the state they add up to.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "serve/site_state.h"
#include "store/fleet.h"
#include "store/store.h"

namespace movar::serve {

enum class TerminalState { Failing, Stale, NeverCollected, Ok };  // most urgent first
const char* stateText(TerminalState state);  // "failing", "stale", "never collected", "ok"

struct TerminalView {
  TerminalConfig config;
  std::optional<store::TerminalStatus> status;
  TerminalCounters counters;
  TerminalState state = TerminalState::NeverCollected;
  std::optional<std::int64_t> memoryRecords;  // what its memory held at the latest download
  std::string holder;      // the collector downloading it now, when one is
  std::string lastHolder;  // the collector that collected it last
};

// The file's terminals in its order, then the rest of the store's fleet. A success older than
// two rounds and a minute is stale.
std::vector<TerminalView> terminalViews(const SiteSnapshot& site, const std::vector<store::TerminalStatus>& log,
                                        const std::vector<store::FleetTerminal>& fleet,
                                        std::chrono::system_clock::time_point now);

// The day `days` before today's local date, as "YYYY-MM-DD".
std::string localDayBefore(std::chrono::system_clock::time_point now, int days);

}  // namespace movar::serve
