#include "collect/clock_care.h"

#include <algorithm>

#include "collect/erase_watch.h"
#include "link/failure.h"
#include "settings/rows.h"
#include "settings/runner.h"

namespace movar::collect {

namespace {

int bcd(int value) { return (value / 10) * 16 + value % 10; }

std::string utcText(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[24];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text;
}

std::optional<std::string> lastSetOf(store::Store& store, const std::string& terminal) {
  for (const store::TerminalStatus& t : store.terminals()) {
    if (t.terminal == terminal) return t.lastClockSet;
  }
  return std::nullopt;
}

}  // namespace

ClockBytes clockBytes(const std::tm& local) {
  return {{bcd(local.tm_year % 100), bcd(local.tm_mon + 1), bcd(local.tm_mday), bcd(local.tm_hour),
           bcd(local.tm_min), bcd(std::min(local.tm_sec, 59)), bcd(local.tm_wday)}};
}

bool clockDue(const std::optional<std::string>& lastSet, const std::string& nowUtc) {
  if (!lastSet) return true;
  std::tm then{};
  if (!strptime(nowUtc.c_str(), "%Y-%m-%d %H:%M:%S", &then)) return true;
  const std::time_t dayBefore = timegm(&then) - 24 * 60 * 60;
  return *lastSet <= utcText(dayBefore);
}

std::optional<store::Attempt> careForClock(Platform& platform, const Target& target, store::Store& store) {
  store::Attempt a;
  a.kind = store::Attempt::Kind::Clock;
  a.terminal = target.storeName();
  const std::time_t now = std::time(nullptr);
  a.started = utcText(now);
  try {
    if (!clockDue(lastSetOf(store, a.terminal), a.started)) return std::nullopt;
  } catch (const store::StoreError&) {
    return std::nullopt;  // the log cannot say when it was last set: better late than twice
  }
  std::tm local{};
  localtime_r(&now, &local);
  const ClockBytes b = clockBytes(local);
  clearFailure();
  const int result = target.kind == Target::Kind::Tcp
                         ? settings::runTcp(platform, settings::kLanSetTime, target.ip.c_str(), b.values)
                         : settings::runSerial(platform, settings::kSetTime, target.address, target.port, b.values);
  a.finished = utcText(std::time(nullptr));
  a.result = result == 0 ? store::Attempt::Result::Ok : store::Attempt::Result::Failed;
  if (result != 0) a.reason = failureReason();
  try {
    store.log(a);
  } catch (const store::StoreError& e) {
    a.reason = e.what();
  }
  return a;
}

}  // namespace movar::collect
