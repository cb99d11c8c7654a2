// How an entry point is declared and guarded. Stdcall on Windows (the .def file maps `_NAME` to
// the decorated `NAME@bytes`), plain C with the underscore name on Linux (the version script lists
// them); the movar_ extensions keep their own names on both. Every entry is declared here from the
// export list, so a definition that disagrees with its row does not compile; and every body runs
// inside a guard, because an exception unwinding through an extern "C" stdcall frame ends the
// host's process. The guard also keeps the thread's failure account: cleared when a call starts,
// cleared again when it returns anything but its failure result.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>

#include "exports/export_rows.h"
#include "exports/movar.h"  // the public header, compiled against the definitions
#include "link/failure.h"

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
#define MOVAR_DECLARE_EXTENSION(result, name, failure, parameters) \
  MOVAR_API result MOVAR_CALL name parameters;
MOVAR_EXTENSION_ROWS(MOVAR_DECLARE_EXTENSION)
#undef MOVAR_DECLARE_EXTENSION

namespace movar::exports {

// The result each export gives when it fails, by export name.
namespace failure {
#define MOVAR_FAILURE_RESULT(result, name, failed, parameters) inline constexpr result name = failed;
MOVAR_EXPORT_ROWS(MOVAR_FAILURE_RESULT)
MOVAR_EXTENSION_ROWS(MOVAR_FAILURE_RESULT)
#undef MOVAR_FAILURE_RESULT
}  // namespace failure

inline bool isFailureResult(std::int32_t result, std::int32_t failed) { return result == failed; }
inline bool isFailureResult(const char* result, const char* failed) {
  return result == nullptr || std::strcmp(result, failed) == 0;
}

template <class Result, class Body>
Result guarded(Result failed, Body&& body) noexcept {
  clearFailure();
  try {
    const Result result = body();
    // A cause recorded on the way to a success (a retry that then worked) is no cause.
    if (!isFailureResult(result, failed) && !failureStandsThroughSuccess()) clearFailure();
    return result;
  } catch (const std::exception& e) {
    recordInternalFailure(e.what());
  } catch (...) {
    recordInternalFailure(nullptr);
  }
  return failed;
}

}  // namespace movar::exports

// The body of the entry point NAME: its failure result if anything throws.
#define MOVAR_GUARDED(NAME, ...) \
  ::movar::exports::guarded(::movar::exports::failure::NAME, [&]() { return __VA_ARGS__; })
