// Entry points without a failure result (the void rows of exports.list), for the builds that
// export them.
#include <type_traits>

#include "exports/export_abi.h"
#include "platform/progress_hook.h"

#if !defined(_WIN32)
static_assert(std::is_same_v<movar_progress_hook, movar_progress_hook_fn>,
              "the hook the platform calls is the one hosts declare from movar.h");

MOVAR_API void movar_set_progress_hook(movar_progress_hook_fn hook, void* context) {
  movar::setProgressHook({hook, context});
}
#endif
