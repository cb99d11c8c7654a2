// `movar collect`: the list of terminals read, and each round said (the rounds themselves are
// the collection library's).
#pragma once

#include <string>
#include <vector>

#include "collect/round.h"
#include "storing.h"

namespace movar::cli {

using Collected = collect::Outcome;

// The addresses of a list file, one per line; blank lines and "#" comments skipped. A line that
// is not an address, or a file that cannot be read, is a UsageError (with the line's number); a
// repeated address is kept once, with a warning on stderr.
std::vector<std::string> readAddresses(const std::string& path);

// One line (or JSON object) for a round of `collect --every`; 0 when every terminal succeeded.
int printRound(int round, const std::vector<Collected>& results, double seconds, bool json);

// The summary table (or JSON lines) with totals; 0 when every terminal succeeded.
int printCollected(const std::vector<Collected>& results, double seconds, bool json);

}  // namespace movar::cli
