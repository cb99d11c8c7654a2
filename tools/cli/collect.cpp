#include "collect.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli_platform.h"
#include "download/lan_download.h"
#include "report.h"

namespace movar::cli {

namespace {

long countLines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  long lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

Collected downloadOne(const std::string& ip, const std::string& directory) {
  Collected c{ip};
  const std::filesystem::path folder = std::filesystem::path(directory) / ip;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return c;
  CliPlatform platform(folder.string(), false);  // no bars: dozens on one terminal are noise
  const auto start = std::chrono::steady_clock::now();
  c.result = download::lanDownload(platform.platform(), ip.c_str());
  c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  c.records = countLines(folder / "movar.txt");
  return c;
}

}  // namespace

std::vector<Collected> collect(const std::vector<std::string>& ips, const std::string& directory,
                               int jobs) {
  std::vector<Collected> results(ips.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next++) < ips.size();) results[i] = downloadOne(ips[i], directory);
  };
  std::vector<std::jthread> workers;
  const std::size_t count = jobs < 1 ? 1 : std::min<std::size_t>(static_cast<std::size_t>(jobs), ips.size());
  for (std::size_t w = 0; w < count; ++w) workers.emplace_back(work);
  workers.clear();  // joins
  return results;
}

std::vector<std::string> readAddresses(const std::string& path, bool& readable) {
  std::ifstream in(path);
  readable = static_cast<bool>(in);
  std::vector<std::string> ips;
  for (std::string line; std::getline(in, line);) {
    line = line.substr(0, line.find('#'));
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    ips.push_back(line.substr(first, line.find_last_not_of(" \t\r") - first + 1));
  }
  return ips;
}

int printCollected(const std::vector<Collected>& results, bool json) {
  bool allOk = true;
  if (!json) std::printf("%-16s %8s %9s  %s\n", "terminal", "records", "seconds", "result");
  for (const Collected& c : results) {
    allOk = allOk && c.result == 0;
    if (json) {
      std::printf("%s\n", JsonLine()
                              .text("ip", c.ip)
                              .number("result", c.result)
                              .boolean("ok", c.result == 0)
                              .number("records", c.records)
                              .number("milliseconds", static_cast<long long>(c.seconds * 1000))
                              .str()
                              .c_str());
    } else {
      std::printf("%-16s %8ld %9.2f  %s\n", c.ip.c_str(), c.records, c.seconds,
                  c.result == 0 ? "ok" : "failed");
    }
  }
  return allOk ? 0 : 1;
}

}  // namespace movar::cli
