// A terminal's record folder kept bounded: a backup that holds no record (every empty round
// leaves a pair) is removed at once; with `keepDays`, an older backup is removed once it is
// proven in the store (imported again, which adds nothing when it is there already).
#pragma once

#include <optional>
#include <string>

#include "store/store.h"

namespace movar::serve {

struct BackupCare {
  std::size_t empty = 0, pruned = 0;
  std::string problem;  // a backup kept because it could not be proven stored, or not removed
};

BackupCare tidyBackups(const std::string& folder, const std::string& terminal, std::optional<int> keepDays,
                       store::Store& store);

}  // namespace movar::serve
