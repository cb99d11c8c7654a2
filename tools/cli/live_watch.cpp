#include "live_watch.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "collect/erase_watch.h"
#include "interrupts.h"
#include "link/failure.h"
#include "live_record.h"
#include "report.h"
#include "storing.h"

namespace movar::cli {

namespace {

void pauseUnlessInterrupted(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!interruptRequested() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

// Twenty zeros are "no record" only when the library recorded no failure for the poll. A record
// is stored before it is printed; once standard output is gone the watch ends, never taking a
// record from the terminal that nothing keeps.
int watchLive(const Capability& c, const collect::Target& target, collect::HostPlatform& host, const Watch& w,
              bool json, store::Store* store) {
  using collect::Target;
  const char* ip = target.kind == Target::Kind::Tcp ? target.ip.c_str() : nullptr;
  std::string last;
  bool reachable = true;
  for (int shown = 0; w.count <= 0 || shown < w.count;) {
    // Without a store, standard output is the only keeper: none, no poll.
    if (w.on && !store && standardOutputClosed()) return 0;
    clearFailure();
    const std::string digits = c.live(host.platform(), target.address, target.port, ip);
    const std::optional<LiveRecord> record = decodeLiveRecord(digits);
    const bool failed = !record && lastFailureKind() != FailureKind::None;
    if (record && digits != last) {
      bool stored = false;
      if (store) {
        const Stored s = store::storeLive(
            *store, {target.storeName(), static_cast<int>(record->person), record->time,
                     static_cast<int>(record->machine)});
        if (!s.error.empty()) reportStored(s, nullptr);
        stored = s.error.empty();
      }
      if (!printLiveRecord(*record, json)) {
        std::fprintf(stderr, "movar realtime: standard output is closed; the watch ends after record %s (%s)\n",
                     digits.c_str(), stored ? "in the store" : "not stored: this line is its only copy");
        return stored ? 0 : 1;
      }
      ++shown;
    }
    if (record) last = digits;
    if (!w.on) {
      if (failed) {
        std::fprintf(stderr, "movar realtime: failed: %s\n",
                     collect::failureReason(host.watch().lastMessage()).c_str());
        return 1;
      }
      if (!record && !json) std::printf("no record waiting\n");
      if (!record && json) printJson({{"record", digits}});
      return 0;
    }
    if (failed == reachable) {  // one line when the terminal goes, one when it is back
      reachable = !failed;
      if (failed) {
        std::fprintf(stderr, "movar realtime: %s cannot be reached: %s (polling on)\n", target.text().c_str(),
                     collect::failureReason(host.watch().lastMessage()).c_str());
      } else {
        std::fprintf(stderr, "movar realtime: %s answers again\n", target.text().c_str());
      }
    }
    if (interruptRequested()) return 0;
    if (!record) pauseUnlessInterrupted(w.intervalMs);
    if (interruptRequested()) return 0;
  }
  return 0;
}

}  // namespace movar::cli
