// The movar_ extensions that both products export (the rows at the end of exports.list).
#include <cstring>
#include <string>

#include "exports/export_abi.h"
#include "platform/platform.h"
#include "platform/record_directory.h"

using movar::processPlatform;

// The codes hosts read from movar.h are the core's own kinds.
#define MOVAR_SAME_CODE(code, kind) \
  static_assert(static_cast<std::int32_t>(movar::FailureKind::kind) == (code), #kind " is not " #code);
MOVAR_FAILURE_KINDS(MOVAR_SAME_CODE)
#undef MOVAR_SAME_CODE

namespace {

std::int32_t setRecordDirectory(const char* dir) {
  if (movar::setThreadRecordDirectory(dir, processPlatform().files.separator())) return 0;
  movar::recordFailure(movar::FailureKind::Argument,
                       "record directory of " + std::to_string(std::strlen(dir)) +
                           " bytes is longer than the system's path limit");
  return 1;
}

}  // namespace

MOVAR_API std::int32_t MOVAR_CALL movar_set_record_directory(const char* dir) {
  return MOVAR_GUARDED(movar_set_record_directory, setRecordDirectory(dir));
}

// The readers neither reset the account nor touch the platform.
MOVAR_API const char* MOVAR_CALL movar_last_error() { return movar::lastFailureText().c_str(); }

MOVAR_API std::int32_t MOVAR_CALL movar_last_error_code() {
  return static_cast<std::int32_t>(movar::lastFailureKind());
}

MOVAR_API const char* MOVAR_CALL movar_version() { return MOVAR_VERSION; }
