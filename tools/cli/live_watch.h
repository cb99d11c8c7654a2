// `movar realtime` and `realtime --watch`: the newest live record, or each new one as it comes,
// stored before it is printed.
#pragma once

#include "capabilities.h"
#include "collect/host_platform.h"
#include "collect/target.h"
#include "store/store.h"

namespace movar::cli {

struct Watch {
  bool on = false;
  int intervalMs = 1'000;
  int count = 0;  // 0: until interrupted
};

// The exit status: 0, or 1 for a failed poll (without --watch) or a record kept nowhere.
int watchLive(const Capability& c, const collect::Target& target, collect::HostPlatform& host, const Watch& w,
              bool json, store::Store* store);

}  // namespace movar::cli
