/* movar-host: a stand-in host application. It loads the library the way a host does, calls one
 * export by name and prints its result, so tests can run it from a directory of their choosing
 * (the record directory is the executable's).
 *
 *   movar-host EXPORT [i:INT | s:TEXT | n: (null) | c:TEXT (counted string, count 1)]...
 *
 * Prints "result <int>" or, for the exports that return text, "text <text>"; for counted strings
 * also "refcount <n>" after the call. Every argument is passed in a full register or stack slot,
 * which on the SysV x86-64 ABI matches int32_t and pointer parameters alike. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exports/export_rows.h"

/* What each export returns, from the export list: a text or an int32. */
enum result_kind { RESULT_INT, RESULT_TEXT };
#define MOVAR_HOST_ROW(result, name, failure, parameters) \
  {"_" #name, _Generic((result)0, const char*: RESULT_TEXT, default: RESULT_INT)},
static const struct {
  const char* name;
  enum result_kind kind;
} kExports[] = {MOVAR_EXPORT_ROWS(MOVAR_HOST_ROW)};

static int result_kind_of(const char* name) {
  for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i) {
    if (strcmp(kExports[i].name, name) == 0) return (int)kExports[i].kind;
  }
  return -1;
}

typedef intptr_t (*entry_fn)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);

int main(int argc, char** argv) {
  if (argc < 2 || argc > 8) {
    fprintf(stderr, "usage: movar-host EXPORT [i:N|s:TEXT|n:|c:TEXT]...\n");
    return 2;
  }
  const int kind = result_kind_of(argv[1]);
  if (kind < 0) {
    fprintf(stderr, "movar-host: %s is not in the export list\n", argv[1]);
    return 2;
  }
  void* library = dlopen(MOVAR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    fprintf(stderr, "movar-host: %s\n", dlerror());
    return 2;
  }
  entry_fn entry = (entry_fn)dlsym(library, argv[1]);
  if (!entry) {
    fprintf(stderr, "movar-host: no export %s\n", argv[1]);
    return 2;
  }
  intptr_t args[6] = {0};
  int32_t* counted[6] = {0};
  for (int i = 2; i < argc; ++i) {
    const char* a = argv[i];
    if (strncmp(a, "i:", 2) == 0) {
      args[i - 2] = (intptr_t)(int32_t)strtoll(a + 2, NULL, 0);
    } else if (strncmp(a, "s:", 2) == 0) {
      args[i - 2] = (intptr_t)(a + 2);
    } else if (strncmp(a, "n:", 2) == 0) {
      args[i - 2] = 0;
    } else if (strncmp(a, "c:", 2) == 0) {
      const size_t length = strlen(a + 2);
      int32_t* block = malloc(8 + length + 1);
      block[0] = 1;
      block[1] = (int32_t)length;
      memcpy(block + 2, a + 2, length + 1);
      counted[i - 2] = block;
      args[i - 2] = (intptr_t)(block + 2);
    } else {
      fprintf(stderr, "movar-host: bad argument %s\n", a);
      return 2;
    }
  }
  const intptr_t result = entry(args[0], args[1], args[2], args[3], args[4], args[5]);
  if (kind == RESULT_TEXT) {
    printf("text %s\n", (const char*)result);
  } else {
    printf("result %d\n", (int)(int32_t)result);
  }
  for (int i = 0; i < 6; ++i) {
    if (counted[i]) {
      printf("refcount %d\n", counted[i][0]);
      free(counted[i]);
    }
  }
  dlclose(library);
  return 0;
}
