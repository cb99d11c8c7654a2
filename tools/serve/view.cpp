#include "serve/view.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <set>

namespace movar::serve {

const char* stateText(TerminalState state) {
  switch (state) {
    case TerminalState::Failing: return "failing";
    case TerminalState::Stale: return "stale";
    case TerminalState::NeverCollected: return "never collected";
    case TerminalState::Ok: return "ok";
  }
  return "";
}

std::string localDayBefore(std::chrono::system_clock::time_point now, int days) {
  const std::time_t then = std::chrono::system_clock::to_time_t(now - std::chrono::hours(24) * days);
  std::tm local{};
  ::localtime_r(&then, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

std::vector<TerminalView> terminalViews(const SiteSnapshot& site, const std::vector<store::TerminalStatus>& log,
                                        const std::vector<store::FleetTerminal>& fleet,
                                        std::chrono::system_clock::time_point now) {
  std::map<std::string, const store::TerminalStatus*> byName;
  for (const store::TerminalStatus& s : log) byName[s.terminal] = &s;
  std::map<std::string, const store::FleetTerminal*> inFleet;
  for (const store::FleetTerminal& f : fleet) inFleet[f.terminal] = &f;
  std::vector<TerminalConfig> listed = site.terminals;
  std::set<std::string> configured;
  for (const TerminalConfig& t : listed) configured.insert(t.target.storeName());
  for (const store::FleetTerminal& f : fleet) {
    if (configured.count(f.terminal)) continue;
    TerminalConfig t;
    t.name = f.name;
    t.target = collect::Target::fromStoreName(f.terminal);
    if (f.capacity) t.capacity = static_cast<long>(*f.capacity);
    listed.push_back(std::move(t));
  }
  const auto staleAfter = std::chrono::duration_cast<std::chrono::seconds>(2 * site.every + std::chrono::minutes(1));
  const auto nowSeconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  std::vector<TerminalView> out;
  for (const TerminalConfig& t : listed) {
    TerminalView v;
    v.config = t;
    const std::string name = t.target.storeName();
    if (const auto f = inFleet.find(name); f != inFleet.end()) {
      v.holder = f->second->holder;
      v.lastHolder = f->second->lastHolder;
    }
    if (const auto c = site.counters.find(name); c != site.counters.end()) v.counters = c->second;
    if (const auto s = byName.find(name); s != byName.end()) {
      v.status = *s->second;
      v.memoryRecords = v.status->last.announced ? v.status->last.announced : v.status->recordsAtLastSuccess;
      const auto success = v.status->lastSuccess ? store::utcSeconds(*v.status->lastSuccess) : std::nullopt;
      if (v.status->last.result == store::Attempt::Result::Failed) {
        v.state = TerminalState::Failing;
      } else if (!success) {
        v.state = TerminalState::NeverCollected;
      } else if (nowSeconds - *success > staleAfter.count()) {
        v.state = TerminalState::Stale;
      } else {
        v.state = TerminalState::Ok;
      }
    }
    out.push_back(std::move(v));
  }
  return out;
}

}  // namespace movar::serve
