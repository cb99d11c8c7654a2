// Must NOT compile: a definition whose parameters disagree with its row in the export list.
#include "exports/export_abi.h"

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(TESTCOM)(std::int32_t address, const char* port) {
  return address + (port != nullptr);
}
