#include "backup/transfer.h"
#include "exports/export_abi.h"
#include "settings/rows.h"
#include "settings/runner.h"

using movar::processPlatform;
using std::int32_t;

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(ZWBACKUP)(int32_t address, int32_t port, int32_t mode) {
  return MOVAR_GUARDED(ZWBACKUP, movar::settings::runSerial(processPlatform(),
                                                            movar::settings::kZwBackup, address,
                                                            port, {mode}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(RXZWFILE)(int32_t port) {
  return MOVAR_GUARDED(RXZWFILE, movar::backup::receiveBackup(processPlatform(), port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(TXZWFILE)(int32_t port) {
  return MOVAR_GUARDED(TXZWFILE, movar::backup::sendBackup(processPlatform(), port));
}
