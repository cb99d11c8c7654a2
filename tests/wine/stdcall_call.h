/* Calls a stdcall entry point without trusting the compiler's idea of its convention. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Pushes `count` 32-bit arguments (args[0] last, so it is on top), calls, and reports in
 * *esp_delta how far ESP is from where it was before the pushes: 0 when the callee removed
 * exactly its argument bytes. The result is the whole return register (an int32_t or a
 * pointer). */
intptr_t movar_call_stdcall(const void* entry, const uintptr_t* args, int count, int32_t* esp_delta);

#ifdef __cplusplus
}
#endif
