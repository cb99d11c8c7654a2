#include "collect.h"

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
    if (number == 1 && raw.starts_with("\xEF\xBB\xBF")) {
      throw UsageError("--ips " + path + ": starts with a byte-order mark (an editor's UTF-8 "
                       "signature); save it as plain text without one");
    }
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
  if (ips.empty()) throw UsageError("--ips " + path + ": lists no terminal (only blank lines and # comments)");
  return ips;
}

int printRound(int round, const std::vector<Collected>& results, double seconds, const RoundSaid& said) {
  int ok = 0, unstored = 0, notStarted = 0;
  long records = 0;
  std::size_t added = 0;
  Json failures = Json::array();
  for (const Collected& c : results) {
    if (!c.started) {
      ++notStarted;
      continue;
    }
    records += c.records;
    if (c.stored) added += c.stored->added;
    const bool notStored = c.stored && !c.stored->error.empty();
    unstored += notStored;
    if (c.ok()) {
      ++ok;
    } else {
      failures.push_back({{"ip", c.target.ip}, {"error", c.why()}});
    }
    // A store that held the erase is said in why() already.
    if (notStored && c.notErased.empty()) {
      failures.push_back({{"ip", c.target.ip}, {"error", "not stored: " + c.stored->error}});
    }
  }
  const std::time_t now = std::time(nullptr);
  char when[24];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  // Not said of an interrupted round: no next round follows it.
  const bool overran = notStarted == 0 && seconds * 1000 > static_cast<double>(said.every.count());
  if (said.json) {
    Json line{{"round", round}, {"at", when}, {"terminals", results.size()}, {"ok", ok},
              {"not_started", notStarted}, {"records", records}};
    if (said.withStore) line["stored"] = added;
    line["seconds"] = seconds;
    if (overran) line["longer_than_every"] = true;
    line["failures"] = failures;
    printJson(line);
  } else {
    std::string text = "round " + std::to_string(round) + " at " + when + ": " + std::to_string(ok) + " of " +
                       std::to_string(results.size()) + " terminals ok";
    if (notStarted) text += ", " + std::to_string(notStarted) + " not started (interrupted)";
    text += ", " + std::to_string(records) + " records";
    if (said.withStore) text += ", " + std::to_string(added) + " new in the store";
    char duration[32];
    std::snprintf(duration, sizeof duration, ", %.1f s", seconds);
    text += duration;
    if (overran) text += " (longer than --every " + said.everyText + ": the next round starts at once)";
    for (std::size_t k = 0; k < failures.size(); ++k) {
      text += "; " + failures[k]["ip"].get<std::string>() + ": " +
              failures[k]["error"].get<std::string>();
    }
    std::printf("%s\n", text.c_str());
  }
  std::fflush(stdout);
  return ok == static_cast<int>(results.size()) && unstored == 0 ? 0 : 1;
}

void printCollectedHeader(bool json) {
  if (!json) std::printf("%-16s %8s %9s  %s\n", "terminal", "records", "seconds", "result");
  std::fflush(stdout);
}

void printCollectedLine(const Collected& c, bool json) {
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
  std::fflush(stdout);
}

int printCollectedTotals(const std::vector<Collected>& results, double seconds, bool json, bool withStore) {
  int ok = 0, failed = 0, notStarted = 0, unstored = 0;
  long records = 0;
  std::size_t added = 0;
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
  }
  if (json) {
    Json totals{{"terminals", results.size()}, {"ok", ok},           {"failed", failed},
                {"not_started", notStarted},   {"records", records}};
    if (withStore) {
      totals["stored"] = added;
      totals["not_stored"] = unstored;
    }
    totals["seconds"] = seconds;
    printJson(totals);
  } else {
    for (const Collected& c : results) {
      if (!c.started) std::printf("%-16s %8s %9s  not started (interrupted)\n", c.target.ip.c_str(), "-", "-");
    }
    std::string text = std::to_string(results.size()) + " terminals: " + std::to_string(ok) + " ok, " +
                       std::to_string(failed) + " failed";
    if (notStarted) text += ", " + std::to_string(notStarted) + " not started";
    char tail[64];
    std::snprintf(tail, sizeof tail, "; %ld records in %.1f s", records, seconds);
    text += tail;
    if (withStore) {
      text += "; " + std::to_string(added) + " new in the store";
      if (unstored) text += ", " + std::to_string(unstored) + " downloads not stored";
    }
    std::printf("%s\n", text.c_str());
  }
  return ok == static_cast<int>(results.size()) && unstored == 0 ? 0 : 1;
}

}  // namespace movar::cli
