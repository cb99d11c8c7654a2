// What the process may hold: collect keeps a socket, a record folder lock and its files open per
// job, and a store connection beside them.
#pragma once

namespace movar::cli {

// The soft limit of open descriptors raised to the hard one; quietly kept where it cannot be.
void raiseDescriptorLimit();

}  // namespace movar::cli
