// `movar collect` against 32 simulated LAN terminals of 20000 records each: all at once
// (--jobs 32) against one after another, in the same run. Target: at least 16 times faster.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "collect/round.h"
#include "record_memory.h"
#include "standard_terminal.h"
#include "tcp_listener.h"

namespace {

using namespace movar;
constexpr int kTerminals = 32;
constexpr std::uint32_t kRecords = 20'000;
constexpr double kTargetSpeedUp = 16.0;

struct Floor {
  std::vector<std::unique_ptr<sim::Terminal>> terminals;
  std::vector<std::unique_ptr<sim::TcpListener>> listeners;
  std::vector<collect::Target> targets;

  Floor() {
    for (int i = 0; i < kTerminals; ++i) {
      auto terminal = std::make_unique<sim::Terminal>(sim::TerminalConfig{});
      sim::installStandardCommands(*terminal);
      listeners.push_back(std::make_unique<sim::TcpListener>(*terminal));
      targets.push_back({collect::Target::Kind::Tcp, 0, 0, listeners.back()->ip()});
      terminals.push_back(std::move(terminal));
    }
  }
  void refill() {
    for (auto& t : terminals) t->part<sim::RecordMemory>().fill(kRecords);
  }
};

// Seconds for the whole collection; false when a terminal failed or came short.
bool timed(Floor& floor, const std::filesystem::path& dir, int jobs, double& seconds) {
  floor.refill();
  const auto start = std::chrono::steady_clock::now();
  const std::vector<collect::Outcome> results =
      collect::collectRound(floor.targets, {dir.string(), jobs, nullptr, {}, {}}, {});
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const collect::Outcome& c : results) {
    if (c.result != 0 || c.records != kRecords) {
      std::fprintf(stderr, "collect bench: %s gave %d with %ld records\n", c.target.ip.c_str(), c.result,
                   c.records);
      return false;
    }
  }
  return true;
}

}  // namespace

int main() {
  Floor floor;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "movar-collect-bench";
  std::filesystem::remove_all(dir);
  double parallel = 0, sequential = 0;
  if (!timed(floor, dir / "parallel", kTerminals, parallel) ||
      !timed(floor, dir / "sequential", 1, sequential)) {
    return 1;
  }
  std::filesystem::remove_all(dir);
  const double speedUp = sequential / parallel;
  std::printf("collect, %d terminals x %u records: one after another %.2f s, --jobs %d %.2f s: "
              "%.1fx (target >= %.0fx): %s\n",
              kTerminals, kRecords, sequential, kTerminals, parallel, speedUp, kTargetSpeedUp,
              speedUp >= kTargetSpeedUp ? "ok" : "UNDER");
  return speedUp >= kTargetSpeedUp ? 0 : 1;
}
