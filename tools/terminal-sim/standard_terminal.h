// The commands a simulated terminal knows, registered on a Terminal.
#pragma once

#include "terminal.h"

namespace movar::sim {

void installStandardCommands(Terminal& terminal);

}  // namespace movar::sim
