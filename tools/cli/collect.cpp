#include "collect.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "arguments.h"
#include "report.h"

namespace movar::cli {

namespace {

std::string trimmed(std::string line) {
  line = line.substr(0, line.find('#'));
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::vector<std::string> readAddresses(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw UsageError("--ips " + path + ": is a directory");
  std::ifstream in(path);
  if (!in) throw UsageError("--ips " + path + ": cannot read: " + std::strerror(errno));
  std::vector<std::string> ips;
  std::map<std::string, int> firstLine;
  int number = 0;
  for (std::string raw; std::getline(in, raw);) {
    ++number;
    const std::string line = trimmed(raw);
    if (line.empty()) continue;
    if (!isIpv4Address(line)) {
      throw UsageError("--ips " + path + " line " + std::to_string(number) + ": \"" + line +
                       "\" is not an IPv4 address (four fields 0-255, no leading zeros)");
    }
    const auto [at, fresh] = firstLine.emplace(line, number);
    if (!fresh) {
      std::fprintf(stderr, "movar collect: %s line %d repeats %s from line %d; downloaded once\n",
                   path.c_str(), number, line.c_str(), at->second);
      continue;
    }
    ips.push_back(line);
  }
  if (in.bad()) throw UsageError("--ips " + path + ": cannot read: " + std::strerror(errno));
  return ips;
}

int printRound(int round, const std::vector<Collected>& results, double seconds, bool json) {
  int ok = 0, unstored = 0;
  long records = 0;
  std::size_t added = 0;
  std::string failures;
  for (const Collected& c : results) {
    if (!c.started) continue;
    records += c.records;
    if (c.stored) added += c.stored->added;
    const bool notStored = c.stored && !c.stored->error.empty();
    unstored += notStored;
    if (c.ok()) {
      ++ok;
    } else {
      failures += (failures.empty() ? "" : "; ") + c.target.ip + ": " + c.why();
    }
    // A store that held the erase is said in why() already.
    if (notStored && c.notErased.empty()) {
      failures += (failures.empty() ? "" : "; ") + c.target.ip + ": not stored: " + c.stored->error;
    }
  }
  const std::time_t now = std::time(nullptr);
  char when[24];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  if (json) {
    printJson({{"round", round}, {"at", when}, {"terminals", results.size()}, {"ok", ok},
               {"records", records}, {"stored", added}, {"seconds", seconds}, {"failures", failures}});
  } else {
    std::printf("round %d at %s: %d of %zu terminals ok, %ld records, %zu new in the store, %.1f s%s%s\n",
                round, when, ok, results.size(), records, added, seconds,
                failures.empty() ? "" : "; ", failures.c_str());
  }
  std::fflush(stdout);
  return ok == static_cast<int>(results.size()) && unstored == 0 ? 0 : 1;
}

int printCollected(const std::vector<Collected>& results, double seconds, bool json) {
  int ok = 0, failed = 0, notStarted = 0, unstored = 0;
  long records = 0;
  std::size_t added = 0;
  if (!json) std::printf("%-16s %8s %9s  %s\n", "terminal", "records", "seconds", "result");
  for (const Collected& c : results) {
    if (!c.started) {
      ++notStarted;
      continue;
    }
    records += c.records;
    (c.ok() ? ok : failed) += 1;
    if (c.stored) {
      added += c.stored->added;
      if (!c.stored->error.empty()) ++unstored;
    }
    if (json) {
      Json line{{"ip", c.target.ip},
                {"result", c.result},
                {"ok", c.ok()},
                {"records", c.records},
                {"milliseconds", static_cast<long long>(c.seconds * 1000)}};
      if (!c.ok()) line["error"] = c.why();
      if (c.stored) reportStored(*c.stored, &line);
      printJson(line);
    } else {
      std::string result = c.result == 0 ? c.notErased.empty() ? "ok" : c.notErased : "failed: " + c.reason;
      if (c.stored && !c.stored->error.empty() && c.notErased.empty()) result += "; not stored: " + c.stored->error;
      std::printf("%-16s %8ld %9.2f  %s\n", c.target.ip.c_str(), c.records, c.seconds, result.c_str());
    }
  }
  if (json) {
    printJson({{"terminals", results.size()},
               {"ok", ok},
               {"failed", failed},
               {"not_started", notStarted},
               {"records", records},
               {"stored", added},
               {"not_stored", unstored},
               {"seconds", seconds}});
  } else {
    for (const Collected& c : results) {
      if (!c.started) std::printf("%-16s %8s %9s  not started (interrupted)\n", c.target.ip.c_str(), "-", "-");
    }
    const bool withStore = std::any_of(results.begin(), results.end(), [](const Collected& c) { return c.stored.has_value(); });
    std::printf("%zu terminals: %d ok, %d failed%s; %ld records in %.1f s%s\n", results.size(), ok,
                failed, notStarted > 0 ? (", " + std::to_string(notStarted) + " not started").c_str() : "",
                records, seconds,
                withStore ? ("; " + std::to_string(added) + " new in the store" +
                             (unstored ? ", " + std::to_string(unstored) + " downloads not stored" : ""))
                                .c_str()
                          : "");
  }
  return ok == static_cast<int>(results.size()) && unstored == 0 ? 0 : 1;
}

}  // namespace movar::cli
