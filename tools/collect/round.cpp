#include "collect/round.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "collect/clock_care.h"
#include "collect/erase_watch.h"
#include "collect/host_platform.h"
#include "collect/stored_download.h"
#include "download/lan_download.h"
#include "download/serial_download.h"
#include "link/failure.h"
#include "records/attendance_record.h"
#include "store/origin.h"

namespace movar::collect {

namespace {

using Clock = std::chrono::steady_clock;

void downloadOne(Outcome& c, const RoundOptions& options) {
  c.started = true;
  StoredDownload stored(options.store, c.target.storeName());
  // The folder's name is the store's name of a checked target: it stays inside `directory`.
  const std::filesystem::path folder = std::filesystem::path(options.directory) / c.target.storeName();
  try {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::runtime_error("cannot make " + folder.string() + ": " + error.message());
    store::noteOrigin(folder.string(), c.target.storeName());  // before the terminal is touched
  } catch (const std::exception& e) {
    c.reason = e.what();
    stored.end({}, false, c.reason);
    c.stored = stored.stored();
    return;
  }
  HostPlatform platform(folder.string());  // no progress view: dozens at once are noise
  EraseWatch erase(options.store ? EraseWatch::Keep([&] { return stored.keep(platform.watch().activity()); })
                                 : EraseWatch::Keep());
  platform.holdErase(&erase);
  clearFailure();
  const auto start = Clock::now();
  c.result = c.target.kind == Target::Kind::Tcp
                 ? download::lanDownload(platform.platform(), c.target.ip.c_str())
                 : download::serialDownload(platform.platform(), c.target.address, c.target.port);
  c.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const CallActivity& activity = platform.watch().activity();
  c.records = static_cast<long>(activity.storedBytes / records::kAttendanceRecordSize);
  if (c.result != 0) c.reason = failureReason(platform.watch().lastMessage());
  if (c.result == 0) c.notErased = notErased(erase, c.records);
  stored.end(activity, c.ok(), c.why());
  c.stored = stored.stored();
  if (options.clockDaily && options.store && c.ok() && c.stored && c.stored->error.empty()) {
    c.clock = careForClock(platform.platform(), c.target, *options.store);
  }
}

}  // namespace

std::vector<Outcome> collectRound(const std::vector<Target>& targets, const RoundOptions& options,
                                  std::stop_token stop) {
  std::vector<Outcome> outcomes(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) outcomes[i].target = targets[i];
  std::atomic<std::size_t> next{0};
  std::mutex told;
  const auto work = [&] {
    for (std::size_t i; !stop.stop_requested() && (i = next++) < targets.size();) {
      Outcome& c = outcomes[i];
      if (options.started) {
        std::lock_guard lock(told);
        options.started(c);
      }
      try {
        downloadOne(c, options);
      } catch (const std::exception& e) {  // one terminal's fault never ends the others
        c.started = true;
        c.reason = e.what();
      }
      if (options.finished) {
        std::lock_guard lock(told);
        options.finished(c);
      }
    }
  };
  std::vector<std::jthread> workers;
  const std::size_t count =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(options.jobs, 1)), targets.size());
  for (std::size_t w = 0; w < count; ++w) workers.emplace_back(work);
  workers.clear();  // joins
  return outcomes;
}

void collectEvery(const std::vector<Target>& targets, const RoundOptions& options,
                  std::chrono::milliseconds every, const RoundDone& round, std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  for (int number = 1; !stop.stop_requested(); ++number) {
    const auto start = Clock::now();
    const std::vector<Outcome> outcomes = collectRound(targets, options, stop);
    round(number, outcomes, std::chrono::duration<double>(Clock::now() - start).count());
    std::unique_lock lock(mutex);
    wake.wait_until(lock, stop, start + every, [] { return false; });
  }
}

}  // namespace movar::collect
