// `movar collect`: many LAN terminals downloaded at once, each into DIR/<ip>/, one failing
// terminal never stopping the others.
#pragma once

#include <string>
#include <vector>

namespace movar::cli {

struct Collected {
  std::string ip;
  int result = 1;
  long records = 0;  // lines of the terminal's movar.txt
  double seconds = 0;
};

std::vector<Collected> collect(const std::vector<std::string>& ips, const std::string& directory,
                               int jobs);

// The addresses of a file, one per line; blank lines and "#" comments skipped.
std::vector<std::string> readAddresses(const std::string& path, bool& readable);

// The summary table (or JSON lines); 0 when every terminal succeeded.
int printCollected(const std::vector<Collected>& results, bool json);

}  // namespace movar::cli
