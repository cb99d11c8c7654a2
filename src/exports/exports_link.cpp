#include "exports/export_abi.h"
#include "link/handshake.h"
#include "platform/progress_hook.h"

using movar::processPlatform;

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(TESTCOM)(std::int32_t address, std::int32_t port) {
  return movar::link::testCom(processPlatform(), address, port);
}

#if !defined(_WIN32)
MOVAR_API void movar_set_progress_hook(movar_progress_hook hook, void* context) {
  movar::setProgressHook({hook, context});
}
#endif
