// `movar serve`: a site collected on a schedule while HTTP answers. SIGTERM and SIGINT let the
// running downloads finish and start nothing new; SIGHUP reads the configuration again (a bad
// file is refused in words and the old one kept). A store not reachable at the start is tried
// again with a growing pause, never an exit a service manager would count against the unit.
#pragma once

#include <string>

namespace movar::serve {

// 0 after a stop, 2 for a configuration refused at the start, 1 when the port cannot be had.
// Lines for the journal go to standard error.
int serveSite(const std::string& configPath);

}  // namespace movar::serve
