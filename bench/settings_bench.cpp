// What the settings engine itself costs: a serial setting (_SETTIME) on the real POSIX platform
// against the simulated terminal on a pty that answers at once, less the pauses the flow must
// make (the port's opening pause among them). Median of 20 runs; target at most 2 ms.
// And a voice prompt of 100 text bytes paced one per millisecond (_SENDVOICE): its whole time
// against the sum of its mandated pauses. Median of 5 runs; target at most 1.1.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "pausing_clock.h"
#include "platform/posix/posix_platform.h"
#include "pty_port.h"
#include "settings/rows.h"
#include "settings/runner.h"
#include "standard_terminal.h"

namespace {

using movar::bench::PausingClock;

using namespace movar;
using SteadyClock = std::chrono::steady_clock;


}  // namespace

int main() {
  constexpr int kRuns = 20;
  constexpr double kTargetMs = 2.0;
  sim::Terminal terminal({.address = 1, .speeds = {57600}});
  sim::installStandardCommands(terminal);
  sim::PtyPort pty(terminal);
  for (int n = 2; n <= 9; ++n) ::setenv(("MOVAR_COM" + std::to_string(n)).c_str(), "/nonexistent", 1);
  ::setenv("MOVAR_COM1", pty.path().c_str(), 1);

  PausingClock clock;
  posix::PosixSerialPorts serial;
  posix::PosixNetwork network;
  posix::PosixFiles files;
  posix::PosixUi ui;
  Platform platform{clock, serial, network, files, ui};

  std::vector<double> engineMs;
  double pausesMs = 0;
  for (int run = 0; run < kRuns; ++run) {
    clock.slept = 0;
    const auto start = SteadyClock::now();
    const std::int32_t result =
        settings::runSerial(platform, settings::kSetTime, 1, 1, {1, 2, 3, 4, 5, 6, 7});
    const double total = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
    if (result != 0) {
      std::fprintf(stderr, "settings bench: _SETTIME failed on run %d\n", run);
      return 1;
    }
    engineMs.push_back(total - static_cast<double>(clock.slept));
    pausesMs = static_cast<double>(clock.slept);
  }
  std::sort(engineMs.begin(), engineMs.end());
  const double median = (engineMs[kRuns / 2 - 1] + engineMs[kRuns / 2]) / 2;
  std::printf("serial setting (_SETTIME), %d runs: median %.2f ms beyond the %.0f ms of mandated "
              "pauses (target <= %.1f ms): %s\n",
              kRuns, median, pausesMs, kTargetMs, median <= kTargetMs ? "ok" : "OVER");

  constexpr int kVoiceRuns = 5;
  constexpr double kPacedTarget = 1.1;
  const std::string text(100, 'v');
  std::vector<double> ratios;
  for (int run = 0; run < kVoiceRuns; ++run) {
    clock.slept = 0;
    const auto start = SteadyClock::now();
    const std::int32_t result = settings::runSerial(
        platform, settings::kSendVoice, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, text);
    const double total = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
    if (result != 0) {
      std::fprintf(stderr, "settings bench: _SENDVOICE failed on run %d\n", run);
      return 1;
    }
    ratios.push_back(total / static_cast<double>(clock.slept));
  }
  std::sort(ratios.begin(), ratios.end());
  const double paced = ratios[kVoiceRuns / 2];
  std::printf("paced voice text (_SENDVOICE, 100 bytes), %d runs: median %.3f x its %.0f ms of "
              "mandated pauses (target <= %.1f): %s\n",
              kVoiceRuns, paced, static_cast<double>(clock.slept), kPacedTarget,
              paced <= kPacedTarget ? "ok" : "OVER");
  return median <= kTargetMs && paced <= kPacedTarget ? 0 : 1;
}
