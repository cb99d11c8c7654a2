// One download as the store keeps it: its records and its row in the collection log, written in
// one transaction before the terminal's erase (or, where the download never reached its erase,
// as it ends); a failed download leaves its row alone.
#pragma once

#include <optional>
#include <string>

#include "collect/host_platform.h"
#include "store/ingest.h"
#include "store/store.h"

namespace movar::collect {

class StoredDownload {
 public:
  // Without a store nothing is written. `fixedMachine`: an as-machine download's number.
  StoredDownload(store::Store* store, std::string terminal, std::optional<int> fixedMachine = std::nullopt);

  // For the erase gate: the records so far with the row (result ok); empty when stored, else why not.
  std::string keep(const CallActivity& activity);
  // The call returned: `ok` with nothing to say, or why it did not succeed. The row is written
  // with whatever the files hold when keep() never ran, or amended when the end differs.
  void end(const CallActivity& activity, bool ok, const std::string& why, bool interrupted = false);

  // With a store, once keep() or end() ran: what was stored, or why not.
  const std::optional<store::Stored>& stored() const { return stored_; }

 private:
  void counted(const CallActivity& activity);
  store::Store* store_;
  std::optional<int> fixedMachine_;
  store::Attempt attempt_;
  std::optional<store::Stored> stored_;
};

}  // namespace movar::collect
