#include "exports/export_abi.h"
#include "link/handshake.h"

using movar::processPlatform;

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(TESTCOM)(std::int32_t address, std::int32_t port) {
  return MOVAR_GUARDED(TESTCOM, movar::link::testCom(processPlatform(), address, port));
}
