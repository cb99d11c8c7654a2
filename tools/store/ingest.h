// What reaches the PC, into the store: a download's record file, a live record. The files stay
// as the library wrote them; a store that cannot take them is said, never hidden.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "store/store.h"

namespace movar::store {

struct Stored {
  std::size_t facts = 0, added = 0, impossible = 0;
  std::string error;  // empty when stored
};

// The record file among `written` (movar.dat, movar<n>.dat; never a backup) into the store in one
// transaction, with the attempt's row when given. `fixedMachine`: the number an as-machine
// download marked the records with.
Stored storeDownload(Store& store, const std::string& terminal,
                     const std::vector<std::string>& written, std::optional<int> fixedMachine,
                     Attempt* attempt = nullptr);
Stored storeLive(Store& store, const Fact& fact);

}  // namespace movar::store
