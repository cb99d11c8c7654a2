// What a store gives beyond its own statements: these hold every fact at once, a store with a
// cursor of its own walks instead.
#include <algorithm>
#include <map>
#include <utility>

#include "store/store.h"

namespace movar::store {

void Store::forEach(const Query& query, const std::function<bool(const StoredFact&)>& each) {
  for (const StoredFact& fact : this->query(query)) {
    if (!each(fact)) return;
  }
}

DayTally Store::tallyDays(std::int64_t after) {
  std::map<std::pair<std::string, std::string>, std::int64_t> counts;
  DayTally tally;
  tally.last = after;
  Query q;
  q.after = after;
  forEach(q, [&](const StoredFact& s) {
    ++counts[{s.fact.time.substr(0, 10), s.fact.terminal}];
    tally.last = std::max(tally.last, s.seq);
    return true;
  });
  for (const auto& [key, facts] : counts) tally.counts.push_back({key.first, key.second, facts});
  return tally;
}

}  // namespace movar::store
