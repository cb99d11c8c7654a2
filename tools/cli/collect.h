// `movar collect`: the list of terminals read, and each round said (the rounds themselves are
// the collection library's).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "collect/round.h"
#include "storing.h"

namespace movar::cli {

using Collected = collect::Outcome;

// The addresses of a list file, one per line; blank lines and "#" comments skipped. A line that
// is not an address, or a file that cannot be read, is a UsageError (with the line's number); a
// repeated address is kept once, with a warning on stderr. A list of no address, or one that starts
// with a byte-order mark, is a UsageError too.
std::vector<std::string> readAddresses(const std::string& path);

// How a round of `collect --every` is said.
struct RoundSaid {
  bool json = false;
  bool withStore = false;  // "new in the store" only where there is one
  std::chrono::milliseconds every{0};
  std::string everyText;  // as typed: "10m"
};

// One line (or JSON object) for a round of `collect --every`; 0 when every terminal succeeded.
int printRound(int round, const std::vector<Collected>& results, double seconds, const RoundSaid& said);

// A single round's table: its header, a row per terminal as it finishes, then the ones never
// started and the totals; printCollectedTotals gives 0 when every terminal succeeded.
void printCollectedHeader(bool json);
void printCollectedLine(const Collected& collected, bool json);
int printCollectedTotals(const std::vector<Collected>& results, double seconds, bool json, bool withStore);

}  // namespace movar::cli
