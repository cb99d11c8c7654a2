// `movar collect`: many LAN terminals downloaded at once, each into DIR/<ip>/, one failing
// terminal never stopping the others. After a Ctrl-C no new download starts; the running ones
// finish.
#pragma once

#include <string>
#include <vector>

#include "storing.h"

namespace movar::cli {

struct Collected {
  std::string ip;
  bool started = false;
  int result = 1;
  long records = 0;  // received in this download
  double seconds = 0;
  std::string reason;  // why it failed
  std::string notErased;  // a transfer that succeeded but was not erased: what became of it
  std::optional<Stored> stored;  // with a store
  bool ok() const { return result == 0 && notErased.empty(); }
  const std::string& why() const { return result != 0 ? reason : notErased; }
};

// With a store, each terminal's records go into it before its erase (or, where the download
// ends without one, as it ends).
std::vector<Collected> collect(const std::vector<std::string>& ips, const std::string& directory,
                               int jobs, store::Store* store = nullptr);

// The addresses of a list file, one per line; blank lines and "#" comments skipped. A line that
// is not an address, or a file that cannot be read, is a UsageError (with the line's number); a
// repeated address is kept once, with a warning on stderr.
std::vector<std::string> readAddresses(const std::string& path);

// One line (or JSON object) for a round of `collect --every`; 0 when every terminal succeeded.
int printRound(int round, const std::vector<Collected>& results, double seconds, bool json);

// The summary table (or JSON lines) with totals; 0 when every terminal succeeded.
int printCollected(const std::vector<Collected>& results, double seconds, bool json);

}  // namespace movar::cli
