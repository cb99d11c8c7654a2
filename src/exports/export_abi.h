// How an entry point is declared and guarded. Stdcall on Windows (the .def file maps `_NAME` to
// the decorated `NAME@bytes`), plain C with the underscore name on Linux (the version script lists
// them). Every entry is declared here from the export list, so a definition that disagrees with
// its row does not compile; and every body runs inside a guard, because an exception unwinding
// through an extern "C" stdcall frame ends the host's process.
#pragma once

#include <cstdint>

#include "exports/export_rows.h"
#include "exports/movar.h"  // the public header, compiled against the definitions

#if defined(_WIN32)
#define MOVAR_CALL __stdcall
#define MOVAR_ENTRY(name) name
#define MOVAR_API extern "C"
#else
#define MOVAR_CALL
#define MOVAR_ENTRY(name) _##name
#define MOVAR_API extern "C" __attribute__((visibility("default")))
#endif

#define MOVAR_DECLARE_ENTRY(result, name, failure, parameters) \
  MOVAR_API result MOVAR_CALL MOVAR_ENTRY(name) parameters;
MOVAR_EXPORT_ROWS(MOVAR_DECLARE_ENTRY)
#undef MOVAR_DECLARE_ENTRY

namespace movar::exports {

// The result each export gives when it fails, by export name.
namespace failure {
#define MOVAR_FAILURE_RESULT(result, name, failed, parameters) inline constexpr result name = failed;
MOVAR_EXPORT_ROWS(MOVAR_FAILURE_RESULT)
#undef MOVAR_FAILURE_RESULT
}  // namespace failure

template <class Result, class Body>
Result guarded(Result failed, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failed;
  }
}

}  // namespace movar::exports

// The body of the entry point NAME: its failure result if anything throws.
#define MOVAR_GUARDED(NAME, ...) \
  ::movar::exports::guarded(::movar::exports::failure::NAME, [&]() { return __VA_ARGS__; })
