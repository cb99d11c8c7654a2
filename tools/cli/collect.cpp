#include "collect.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "arguments.h"
#include "cli_platform.h"
#include "download/lan_download.h"
#include "erase_watch.h"
#include "interrupts.h"
#include "link/failure.h"
#include "records/attendance_record.h"
#include "store/origin.h"
#include "report.h"

namespace movar::cli {

namespace {

Collected downloadOne(const std::string& ip, const std::string& directory, store::Store* store) {
  Collected c;
  c.ip = ip;
  c.started = true;
  // The folder's name is a checked address: digits and dots only, so it stays inside `directory`.
  const std::filesystem::path folder = std::filesystem::path(directory) / ip;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    c.reason = "cannot make " + folder.string() + ": " + error.message();
    return c;
  }
  store::noteOrigin(folder.string(), ip);  // before the terminal is touched; a throw is its reason
  CliPlatform platform(folder.string(), false);  // no bars: dozens on one terminal are noise
  const auto storeFiles = [&] {
    c.stored = storeDownload(*store, ip, platform.watch().activity().written, std::nullopt);
    return c.stored->error;
  };
  EraseWatch erase(store ? EraseWatch::Keep(storeFiles) : EraseWatch::Keep());
  platform.holdErase(&erase);
  clearFailure();
  const auto start = std::chrono::steady_clock::now();
  c.result = download::lanDownload(platform.platform(), ip.c_str());
  c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  c.records = static_cast<long>(platform.watch().activity().storedBytes /
                                records::kAttendanceRecordSize);
  if (c.result != 0) c.reason = failureReason(platform.watch().lastMessage());
  if (c.result == 0) c.notErased = notErased(erase, c.records);
  if (store && !c.stored) storeFiles();
  return c;
}

std::string trimmed(std::string line) {
  line = line.substr(0, line.find('#'));
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::vector<Collected> collect(const std::vector<std::string>& ips, const std::string& directory,
                               int jobs, store::Store* store) {
  std::vector<Collected> results(ips.size());
  for (std::size_t i = 0; i < ips.size(); ++i) results[i].ip = ips[i];
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; !interruptRequested() && (i = next++) < ips.size();) {
      try {
        results[i] = downloadOne(ips[i], directory, store);
      } catch (const std::exception& e) {  // one terminal's fault never ends the others
        results[i].started = true;
        results[i].reason = e.what();
      }
    }
  };
  std::vector<std::jthread> workers;
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), ips.size());
  for (std::size_t w = 0; w < count; ++w) workers.emplace_back(work);
  workers.clear();  // joins
  return results;
}

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
      failures += (failures.empty() ? "" : "; ") + c.ip + ": " + c.why();
    }
    // A store that held the erase is said in why() already.
    if (notStored && c.notErased.empty()) {
      failures += (failures.empty() ? "" : "; ") + c.ip + ": not stored: " + c.stored->error;
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
      Json line{{"ip", c.ip},
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
      std::printf("%-16s %8ld %9.2f  %s\n", c.ip.c_str(), c.records, c.seconds, result.c_str());
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
      if (!c.started) std::printf("%-16s %8s %9s  not started (interrupted)\n", c.ip.c_str(), "-", "-");
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
