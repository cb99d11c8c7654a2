// Entry points beyond the export list (Linux build).
#include "exports/export_abi.h"
#include "platform/progress_hook.h"

#if !defined(_WIN32)
MOVAR_API void movar_set_progress_hook(movar_progress_hook hook, void* context) {
  movar::setProgressHook({hook, context});
}
#endif
