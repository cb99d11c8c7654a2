#include "standard_terminal.h"

#include "fingerprint_unit.h"
#include "live_records.h"
#include "record_memory.h"
#include "terminal_settings.h"

namespace movar::sim {

// Command families add themselves here as the terminal learns them. Codes without an exchange
// (the port test 0x00 among them) are answered by the acknowledgement alone.
void installStandardCommands(Terminal& terminal) {
  installRecordMemory(terminal);
  installLiveRecords(terminal);
  installTerminalSettings(terminal);
  installFingerprintUnit(terminal);  // after the settings: it wraps their 0x12
}

}  // namespace movar::sim
