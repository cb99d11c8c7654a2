// Collection: every target of a round downloaded into a folder of its own, a job count at once,
// one failing terminal never stopping the others; rounds on a schedule. A stop request lets the
// running downloads finish and starts no new one.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "collect/target.h"
#include "store/ingest.h"
#include "store/store.h"

namespace movar::collect {

struct Outcome {
  Target target;
  bool started = false;
  int result = 1;
  long records = 0;  // received in this download
  double seconds = 0;
  std::string reason;     // why it failed
  std::string notErased;  // a transfer that succeeded but was not erased: what became of it
  std::optional<store::Stored> stored;  // with a store
  std::optional<store::Attempt> clock;  // a clock setting that followed the download
  bool ok() const { return result == 0 && notErased.empty(); }
  const std::string& why() const { return result != 0 ? reason : notErased; }
};

struct RoundOptions {
  std::string directory;  // each target's files go into directory/<its store name>/
  int jobs = 8;
  store::Store* store = nullptr;  // each target's records go into it before its erase
  // Told of each target as it starts and as it finishes, from the thread that runs it (one at a
  // time).
  std::function<void(const Outcome&)> started, finished;
  // With a store: a good download is followed by setting the terminal's clock when its last good
  // setting is a day old (collect/clock_care.h).
  bool clockDaily = false;
};

// The outcomes in the order of `targets`; those never started (a stop) have started == false.
std::vector<Outcome> collectRound(const std::vector<Target>& targets, const RoundOptions& options,
                                  std::stop_token stop);

// A round, then the next one `every` after the start of the last, until `stop`. Each round's
// outcomes go to `round` (its number from 1, the outcomes, its seconds); a round that runs past
// `every` is followed by the next at once.
using RoundDone = std::function<void(int number, const std::vector<Outcome>& outcomes, double seconds)>;
void collectEvery(const std::vector<Target>& targets, const RoundOptions& options,
                  std::chrono::milliseconds every, const RoundDone& round, std::stop_token stop);

}  // namespace movar::collect
