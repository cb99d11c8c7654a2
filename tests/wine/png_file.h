/* A PNG writer small enough to need no library: 8-bit RGB, stored (uncompressed) deflate. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* `rgb` holds `height` rows of `width` pixels, top row first. Returns 0 on success. */
int movar_write_png(const char* path, int width, int height, const uint8_t* rgb);

#ifdef __cplusplus
}
#endif
