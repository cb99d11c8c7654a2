// `movar status`: how each terminal's collection stands, from the store's collection log, for a
// person, a cron job or a monitoring check.
#pragma once

#include <chrono>
#include <ctime>
#include <vector>

#include "store/store.h"

namespace movar::cli {

// A line (or a JSON object) per terminal: its latest attempt (when it ended, its result and
// reason), its last success and the records its memory held then, the attempts that failed since.
// Times are UTC as the store keeps them, marked " UTC" (JSON: ISO 8601 with Z). Returns 1 when a
// terminal's latest attempt did not succeed or it had no success for longer than `stale` before
// `now`, else 0.
int printStatus(const std::vector<store::TerminalStatus>& terminals, bool json, std::chrono::seconds stale,
                std::time_t now);

}  // namespace movar::cli
