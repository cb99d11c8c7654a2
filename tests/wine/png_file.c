#include "png_file.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint32_t crc_table[256];

static void crc_init(void) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crc_table[n] = c;
  }
}

static uint32_t crc_update(uint32_t crc, const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = crc_table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

static void put32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)(v >> 24);
  p[1] = (uint8_t)(v >> 16);
  p[2] = (uint8_t)(v >> 8);
  p[3] = (uint8_t)v;
}

static int write_chunk(FILE* f, const char type[4], const uint8_t* data, size_t n) {
  uint8_t head[8];
  uint8_t tail[4];
  put32(head, (uint32_t)n);
  memcpy(head + 4, type, 4);
  uint32_t crc = crc_update(0xFFFFFFFFu, head + 4, 4);
  crc = crc_update(crc, data, n) ^ 0xFFFFFFFFu;
  put32(tail, crc);
  return fwrite(head, 1, 8, f) == 8 && (n == 0 || fwrite(data, 1, n, f) == n) &&
         fwrite(tail, 1, 4, f) == 4;
}

int movar_write_png(const char* path, int width, int height, const uint8_t* rgb) {
  crc_init();
  const size_t row = (size_t)width * 3 + 1; /* filter byte + pixels */
  const size_t raw_size = row * (size_t)height;
  const size_t blocks = raw_size / 65535 + 1;
  uint8_t* raw = malloc(raw_size);
  uint8_t* z = malloc(2 + raw_size + blocks * 5 + 4);
  if (!raw || !z) {
    free(raw);
    free(z);
    return -1;
  }
  for (int y = 0; y < height; ++y) {
    raw[row * (size_t)y] = 0;
    memcpy(raw + row * (size_t)y + 1, rgb + (size_t)y * (size_t)width * 3, (size_t)width * 3);
  }
  size_t at = 0;
  z[at++] = 0x78;
  z[at++] = 0x01;
  uint32_t a = 1, b = 0;
  size_t done = 0;
  do {
    const size_t n = raw_size - done > 65535 ? 65535 : raw_size - done;
    z[at++] = done + n == raw_size ? 1 : 0; /* last block flag, type "stored" */
    z[at++] = (uint8_t)n;
    z[at++] = (uint8_t)(n >> 8);
    z[at++] = (uint8_t)~n;
    z[at++] = (uint8_t)(~n >> 8);
    memcpy(z + at, raw + done, n);
    for (size_t i = 0; i < n; ++i) {
      a = (a + raw[done + i]) % 65521;
      b = (b + a) % 65521;
    }
    at += n;
    done += n;
  } while (done < raw_size);
  put32(z + at, (b << 16) | a);
  at += 4;

  uint8_t header[13];
  put32(header, (uint32_t)width);
  put32(header + 4, (uint32_t)height);
  header[8] = 8;  /* bit depth */
  header[9] = 2;  /* RGB */
  header[10] = 0; /* deflate */
  header[11] = 0; /* adaptive filters */
  header[12] = 0; /* no interlace */
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  FILE* f = fopen(path, "wb");
  int ok = f != NULL && fwrite(signature, 1, 8, f) == 8 && write_chunk(f, "IHDR", header, 13) &&
           write_chunk(f, "IDAT", z, at) && write_chunk(f, "IEND", NULL, 0);
  if (f && fclose(f) != 0) ok = 0;
  free(raw);
  free(z);
  return ok ? 0 : -1;
}
