// What a store gives beyond its own statements, built on its walk of the facts.
#include <algorithm>
#include <map>
#include <utility>

#include "store/store.h"

namespace movar::store {

std::vector<StoredFact> Store::query(const Query& query) {
  std::vector<StoredFact> out;
  forEach(query, [&](const StoredFact& fact) {
    out.push_back(fact);
    return true;
  });
  return out;
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
