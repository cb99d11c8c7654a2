/* movar-host: a stand-in host application. It loads the library the way a host does, calls
 * exports by name and prints their results, so tests can run it from a directory of their
 * choosing (the record directory is the executable's).
 *
 *   movar-host EXPORT [i:INT | s:TEXT | n: (null) | c:TEXT (counted string, count 1)]...
 *              [+ EXPORT ARGUMENTS...]...
 *
 * Calls joined by "+" run at the same time, each on a thread of its own. Prints, per call and in
 * the order given, "result <int>" or, for the exports that return text, "text <text>"; for
 * counted strings also "refcount <n>" after the call, and "why <text>" when the library recorded
 * a cause (a failure, or the reason a good transfer was not erased); last "seconds <s>", the
 * time the calls took (without the process's start and end, which a wrapper such as valgrind
 * makes long). Every argument is passed in a full register
 * or stack slot, which on the SysV x86-64 ABI matches int32_t and pointer parameters alike. */
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "exports/export_rows.h"

/* What each export returns, from the export list: a text or an int32. */
enum result_kind { RESULT_INT, RESULT_TEXT };
#define MOVAR_HOST_ROW(result, name, failure, parameters) \
  {"_" #name, _Generic((result)0, const char*: RESULT_TEXT, default: RESULT_INT)},
static const struct {
  const char* name;
  enum result_kind kind;
} kExports[] = {MOVAR_EXPORT_ROWS(MOVAR_HOST_ROW)};

typedef intptr_t (*entry_fn)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);

enum { kMaxArgs = 6, kMaxCalls = 16 };

struct call {
  const char* name;
  enum result_kind kind;
  entry_fn entry;
  intptr_t args[kMaxArgs];
  int32_t* counted[kMaxArgs];
  intptr_t result;
  char why[512]; /* movar_last_error on the call's own thread, right after it */
};

typedef const char* (*last_error_fn)(void);
static last_error_fn last_error;

static int result_kind_of(const char* name) {
  for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i) {
    if (strcmp(kExports[i].name, name) == 0) return (int)kExports[i].kind;
  }
  return -1;
}

/* Reads one call from argv[*at]; leaves *at after its arguments. */
static int parse_call(void* library, int argc, char** argv, int* at, struct call* c) {
  memset(c, 0, sizeof *c);
  c->name = argv[(*at)++];
  const int kind = result_kind_of(c->name);
  if (kind < 0) {
    fprintf(stderr, "movar-host: %s is not in the export list\n", c->name);
    return 0;
  }
  c->kind = (enum result_kind)kind;
  c->entry = (entry_fn)dlsym(library, c->name);
  if (!c->entry) {
    fprintf(stderr, "movar-host: no export %s\n", c->name);
    return 0;
  }
  for (int n = 0; *at < argc && strcmp(argv[*at], "+") != 0; ++n, ++*at) {
    const char* a = argv[*at];
    if (n == kMaxArgs) {
      fprintf(stderr, "movar-host: too many arguments for %s\n", c->name);
      return 0;
    }
    if (strncmp(a, "i:", 2) == 0) {
      c->args[n] = (intptr_t)(int32_t)strtoll(a + 2, NULL, 0);
    } else if (strncmp(a, "s:", 2) == 0) {
      c->args[n] = (intptr_t)(a + 2);
    } else if (strncmp(a, "n:", 2) == 0) {
      c->args[n] = 0;
    } else if (strncmp(a, "c:", 2) == 0) {
      const size_t length = strlen(a + 2);
      int32_t* block = malloc(8 + length + 1);
      block[0] = 1;
      block[1] = (int32_t)length;
      memcpy(block + 2, a + 2, length + 1);
      c->counted[n] = block;
      c->args[n] = (intptr_t)(block + 2);
    } else {
      fprintf(stderr, "movar-host: bad argument %s\n", a);
      return 0;
    }
  }
  if (*at < argc) ++*at; /* the "+" */
  return 1;
}

static void* run_call(void* arg) {
  struct call* c = arg;
  const intptr_t* a = c->args;
  c->result = c->entry(a[0], a[1], a[2], a[3], a[4], a[5]);
  if (last_error) snprintf(c->why, sizeof c->why, "%s", last_error());
  return NULL;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: movar-host EXPORT [i:N|s:TEXT|n:|c:TEXT]... [+ EXPORT ...]...\n");
    return 2;
  }
  void* library = dlopen(MOVAR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    fprintf(stderr, "movar-host: %s\n", dlerror());
    return 2;
  }
  last_error = (last_error_fn)dlsym(library, "movar_last_error");
  static struct call calls[kMaxCalls];
  int count = 0;
  for (int at = 1; at < argc; ++count) {
    if (count == kMaxCalls || !parse_call(library, argc, argv, &at, &calls[count])) return 2;
  }
  struct timespec began, ended;
  clock_gettime(CLOCK_MONOTONIC, &began);
  if (count == 1) {
    run_call(&calls[0]);
  } else {
    pthread_t threads[kMaxCalls];
    for (int i = 0; i < count; ++i) pthread_create(&threads[i], NULL, run_call, &calls[i]);
    for (int i = 0; i < count; ++i) pthread_join(threads[i], NULL);
  }
  clock_gettime(CLOCK_MONOTONIC, &ended);
  for (int i = 0; i < count; ++i) {
    const struct call* c = &calls[i];
    if (c->kind == RESULT_TEXT) {
      printf("text %s\n", (const char*)c->result);
    } else {
      printf("result %d\n", (int)(int32_t)c->result);
    }
    if (c->why[0]) printf("why %s\n", c->why);
    for (int n = 0; n < kMaxArgs; ++n) {
      if (c->counted[n]) {
        printf("refcount %d\n", c->counted[n][0]);
        free(c->counted[n]);
      }
    }
  }
  printf("seconds %.3f\n", (double)(ended.tv_sec - began.tv_sec) + (double)(ended.tv_nsec - began.tv_nsec) / 1e9);
  dlclose(library);
  return 0;
}
