// How an entry point is declared: stdcall on Windows (the .def file maps `_NAME` to the decorated
// `NAME@bytes`), plain C with the underscore name on Linux (the version script lists them).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define MOVAR_CALL __stdcall
#define MOVAR_ENTRY(name) name
#define MOVAR_API extern "C"
#else
#define MOVAR_CALL
#define MOVAR_ENTRY(name) _##name
#define MOVAR_API extern "C" __attribute__((visibility("default")))
#endif
