/* movar-wine-host: the Windows test host. Loads w_movar.dll by name as a host application does,
 * finds exports with GetProcAddress and calls them as stdcall, checking ESP after every call.
 *
 *   movar-wine-host exports IP COM     the export cases; the simulator answers address 1 on
 *                                      port COM (19200 baud only) and on IP:1024,
 *                                      its twin behind a modem on COM + 1
 *   movar-wine-host network IP         the socket layer against the simulator (test-only entry)
 *   movar-wine-host windows DIR        progress windows and message box (test-only entries)
 *
 * Prints "ok  ...", "FAIL ..." or "skip ..." per case; exits with the number of failures. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "network_check.h"
#include "stdcall_call.h"
#include "window_check.h"

/* ARG_TEXT: kTexts[value], zero-terminated. ARG_COUNTED: kTexts[value] as the host's counted
 * string (count 1, length, text); its count must be 1 again after the call. */
enum arg_kind { ARG_NONE, ARG_INT, ARG_COM, ARG_IP, ARG_TEXT, ARG_COUNTED };

typedef struct {
  enum arg_kind kind;
  int32_t value; /* ARG_COM: added to COM; ARG_TEXT, ARG_COUNTED: index into kTexts */
} export_arg;

static const char* const kTexts[] = {"0123456789", "Jos\xE9", "Welcome, Ann"};

#define MAX_ARGS 16

/* One row per export family. Optional rows wait for their export: they run as soon as the DLL
 * exports the name. */
typedef struct {
  const char* name;
  const char* entry;
  int optional;
  export_arg args[MAX_ARGS];
  int32_t expected;
  DWORD min_ms, max_ms;      /* elapsed time bounds */
  const char* expected_text; /* for the exports that return text */
} export_case;

static const export_case kCases[] = {
    /* com1 and com2 do not open; at COM the 57600 attempt goes unanswered, 19200 is acknowledged */
    {"testcom-found", "_TESTCOM", 0, {{ARG_INT, 1}, {ARG_INT, 1}}, -2 /* COM */, 900, 5000, NULL},
    /* nobody answers address 2: nine attempts of one second each */
    {"testcom-not-found", "_TESTCOM", 0, {{ARG_INT, 2}, {ARG_COM, 0}}, -1, 9000, 20000, NULL},
    /* the simulator holds 30 records: to movar5.dat/.txt, then erased through _LANDELETE */
    {"lanmanydownload", "_LANMANYDOWNLOAD", 0, {{ARG_IP, 0}, {ARG_INT, 5}}, 0, 2000, 30000, NULL},
    /* the erased records come back, then go to movar.dat/.txt over the serial line and are erased */
    {"restoreall", "_RESTOREALL", 0, {{ARG_INT, 1}, {ARG_COM, 0}}, 0, 900, 5000, NULL},
    {"download", "_DOWNLOAD", 0, {{ARG_INT, 1}, {ARG_COM, 0}}, 0, 2000, 40000, NULL},
    /* the twin terminal behind the modem on COM + 1 (30 records, kept): movar.dat/.txt again */
    {"modemdownload", "_MODEMDOWNLOAD", 0, {{ARG_INT, 1}, {ARG_COM, 1}, {ARG_TEXT, 0}}, 0,
     500, 20000, NULL},
    /* 14-byte preamble with FA 05 0D F2 */
    {"landelete", "_LANDELETE", 0, {{ARG_IP, 0}}, 0, 0, 10000, NULL},
    /* the simulator holds one live record: person 123, 2009-03-14 08:05, machine 7 */
    {"lanrealdownload", "_LANREALDOWNLOAD", 0, {{ARG_IP, 0}}, 0, 100, 10000,
     "00012320090314080507"},
    /* settings: nine arguments (36 bytes) on the line, two over TCP with its 1 + 10 + 1 + 1 +
     * 1 + 25 ms of pauses */
    {"settime", "_SETTIME", 0,
     {{ARG_INT, 1}, {ARG_COM, 0}, {ARG_INT, 1}, {ARG_INT, 2}, {ARG_INT, 3}, {ARG_INT, 4},
      {ARG_INT, 5}, {ARG_INT, 6}, {ARG_INT, 7}},
     0, 900, 5000, NULL},
    {"lanenableperson", "_LANENABLEPERSON", 0, {{ARG_IP, 0}, {ARG_INT, 300}}, 0, 39, 5000, NULL},
    /* an SN stored over TCP, asked for on the line; then the rate-change message (14 arguments,
     * 56 bytes) with code 5, which the simulator at 19200 hears at the third rate tried */
    {"lansetsn", "_LANSETSN", 0, {{ARG_IP, 0}, {ARG_INT, 5}, {ARG_INT, 0x1234}}, 0, 39, 5000, NULL},
    {"whatsn", "_WHATSN", 0, {{ARG_INT, 1}, {ARG_COM, 0}, {ARG_INT, 5}}, 0x1234, 900, 5000, NULL},
    {"setbaudrate", "_SETBAUDRATE", 0,
     {{ARG_COM, 0}, {ARG_INT, 5}, {ARG_INT, 1}, {ARG_INT, 2}, {ARG_INT, 3}, {ARG_INT, 4},
      {ARG_INT, 5}, {ARG_INT, 6}, {ARG_INT, 7}, {ARG_INT, 8}, {ARG_INT, 9}, {ARG_INT, 10},
      {ARG_INT, 11}, {ARG_INT, 12}},
     0, 4000, 10000, NULL},
    /* names and voice with counted strings: a CP1252 name over TCP; a voice record of 16
     * arguments (64 bytes), found at 19200 after the 2 s of the 57600 attempt, its text paced */
    {"lansendname", "_LANSENDNAME", 0,
     {{ARG_IP, 0}, {ARG_INT, 300}, {ARG_COUNTED, 1}}, 0, 30, 5000, NULL},
    {"sendvoice", "_SENDVOICE", 0,
     {{ARG_INT, 1}, {ARG_COM, 0}, {ARG_INT, 1}, {ARG_INT, 0x1234}, {ARG_INT, 3}, {ARG_INT, 4},
      {ARG_INT, 5}, {ARG_INT, 6}, {ARG_INT, 7}, {ARG_INT, 8}, {ARG_INT, 9}, {ARG_INT, 10},
      {ARG_INT, 11}, {ARG_INT, 12}, {ARG_INT, 13}, {ARG_COUNTED, 2}},
     0, 1900, 8000, NULL},
    /* the simulator's fingerprint unit holds template 300/2/2: the dialogue (57600 unanswered,
     * 19200 acknowledged, 10 + 800 ms), then one packet at 9600; FINGERREC\IDLIST.TXT and
     * FINGERREC\FP0300_2.TXT beside the host */
    {"getidlist", "_GETIDLIST", 0, {{ARG_INT, 1}, {ARG_COM, 0}}, 0, 1700, 10000, NULL},
    {"getidfprec", "_GETIDFPREC", 0, {{ARG_INT, 1}, {ARG_COM, 0}, {ARG_INT, 300}, {ARG_INT, 2}, {ARG_INT, 2}},
     0, 1700, 10000, NULL},
    /* the device's 2000 backup bytes into zwbak.txt (two frames), then back: every byte the
     * library sends is followed by 1 ms, so 2000 data bytes take at least 2 s */
    {"rxzwfile", "_RXZWFILE", 0, {{ARG_COM, 0}}, 0, 50, 10000, NULL},
    {"txzwfile", "_TXZWFILE", 0, {{ARG_COM, 0}}, 0, 2000, 6000, NULL},
};

/* The block a host's string manager would make: count, length, text, zero. */
static int32_t* counted_string(const char* text) {
  const size_t length = strlen(text);
  int32_t* block = (int32_t*)calloc(1, 8 + length + 1);
  block[0] = 1;
  block[1] = (int32_t)length;
  memcpy(block + 2, text, length);
  return block;
}

static int report(const char* verdict, const char* name, const char* detail) {
  printf("%s %s: %s\n", verdict, name, detail);
  fflush(stdout);
  return verdict[0] == 'F';
}

static int run_case(HMODULE library, const export_case* c, const char* ip, int com) {
  char detail[256];
  FARPROC entry = GetProcAddress(library, c->entry);
  if (entry == NULL) {
    snprintf(detail, sizeof detail, "%s not exported", c->entry);
    return report(c->optional ? "skip" : "FAIL", c->name, detail);
  }
  uintptr_t args[MAX_ARGS];
  int32_t* counted[MAX_ARGS] = {0};
  int count = 0;
  for (; count < MAX_ARGS && c->args[count].kind != ARG_NONE; ++count) {
    const export_arg* a = &c->args[count];
    if (a->kind == ARG_COUNTED) counted[count] = counted_string(kTexts[a->value]);
    args[count] = a->kind == ARG_COM       ? (uintptr_t)(uint32_t)(com + a->value)
                  : a->kind == ARG_IP      ? (uintptr_t)ip
                  : a->kind == ARG_TEXT    ? (uintptr_t)kTexts[a->value]
                  : a->kind == ARG_COUNTED ? (uintptr_t)(counted[count] + 2)
                                           : (uintptr_t)(uint32_t)a->value;
  }
  const int32_t expected = c->expected == -2 ? com : c->expected;
  int32_t esp_delta = 0;
  const ULONGLONG start = GetTickCount64();
  const intptr_t raw = movar_call_stdcall((const void*)entry, args, count, &esp_delta);
  const DWORD elapsed = (DWORD)(GetTickCount64() - start);
  const int32_t result = (int32_t)raw;
  const char* text = c->expected_text && raw ? (const char*)raw : "";
  const int value_ok = c->expected_text ? strcmp(text, c->expected_text) == 0 : result == expected;
  int counts_ok = 1;
  for (int i = 0; i < count; ++i) {
    if (counted[i] != NULL) counts_ok = counts_ok && counted[i][0] == 1;
    free(counted[i]);
  }
  const int ok = value_ok && counts_ok && esp_delta == 0 && elapsed >= c->min_ms &&
                 elapsed <= c->max_ms;
  if (c->expected_text) {
    snprintf(detail, sizeof detail, "%s -> \"%s\" (expected \"%s\"), ESP %+ld, %lu ms (%lu..%lu)",
             c->entry, text, c->expected_text, (long)esp_delta, (unsigned long)elapsed,
             (unsigned long)c->min_ms, (unsigned long)c->max_ms);
  } else {
    snprintf(detail, sizeof detail, "%s -> %ld (expected %ld), ESP %+ld, %lu ms (%lu..%lu)%s",
             c->entry, (long)result, (long)expected, (long)esp_delta, (unsigned long)elapsed,
             (unsigned long)c->min_ms, (unsigned long)c->max_ms,
             counts_ok ? "" : ", a reference count not restored");
  }
  return report(ok ? "ok  " : "FAIL", c->name, detail);
}

static int run_exports(const char* ip, int com) {
  HMODULE library = LoadLibraryA("w_movar.dll");
  if (library == NULL) return report("FAIL", "load", "LoadLibraryA(\"w_movar.dll\")");
  int failed = 0;
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    failed += run_case(library, &kCases[i], ip, com);
  }
  FreeLibrary(library);
  return failed;
}

/* A stdcall entry point by name, or NULL (reported). */
static FARPROC entry_of(HMODULE library, const char* name) {
  FARPROC entry = GetProcAddress(library, name);
  if (entry == NULL) report("FAIL", name, "not exported");
  return entry;
}

static intptr_t call(FARPROC entry, const uintptr_t* args, int count, int* esp_failures) {
  int32_t esp_delta = 0;
  const intptr_t raw = movar_call_stdcall((const void*)entry, args, count, &esp_delta);
  if (esp_delta != 0) ++*esp_failures;
  return raw;
}

/* The movar_ extensions by their plain names: the version; a refused connection's reason naming
 * the address, then none after a success; a record directory steering where a download writes. */
static int run_extensions(const char* ip, const char* dir) {
  HMODULE library = LoadLibraryA("w_movar.dll");
  if (library == NULL) return report("FAIL", "load", "LoadLibraryA(\"w_movar.dll\")");
  FARPROC version = entry_of(library, "movar_version");
  FARPROC last_error = entry_of(library, "movar_last_error");
  FARPROC last_code = entry_of(library, "movar_last_error_code");
  FARPROC set_dir = entry_of(library, "movar_set_record_directory");
  FARPROC lan_enable = entry_of(library, "_LANENABLEALL");
  FARPROC lan_many = entry_of(library, "_LANMANYDOWNLOAD");
  if (!version || !last_error || !last_code || !set_dir || !lan_enable || !lan_many) {
    FreeLibrary(library);
    return 1;
  }
  int failed = 0, esp = 0;
  char detail[512];
  const char* text = (const char*)call(version, NULL, 0, &esp);
  snprintf(detail, sizeof detail, "movar_version() = \"%s\"", text ? text : "(null)");
  failed += report(text && strcmp(text, MOVAR_EXPECTED_VERSION) == 0 ? "ok  " : "FAIL",
                   "version", detail);

  /* Nothing listens on 127.0.1.7, outside the 127.0.0.x the simulators take. */
  const char* nobody = "127.0.1.7";
  uintptr_t arg = (uintptr_t)nobody;
  const int32_t refused = (int32_t)call(lan_enable, &arg, 1, &esp);
  const int32_t code = (int32_t)call(last_code, NULL, 0, &esp);
  text = (const char*)call(last_error, NULL, 0, &esp);
  snprintf(detail, sizeof detail, "_LANENABLEALL(\"%s\") = %d, code %d, \"%s\"", nobody,
           (int)refused, (int)code, text ? text : "(null)");
  failed += report(refused == 1 && code == 4 && text && strstr(text, "127.0.1.7:1024") ? "ok  " : "FAIL",
                   "last-error-refused", detail);

  arg = (uintptr_t)dir;
  const int32_t set = (int32_t)call(set_dir, &arg, 1, &esp);
  uintptr_t download_args[2] = {(uintptr_t)ip, 9};
  const int32_t downloaded = (int32_t)call(lan_many, download_args, 2, &esp);
  const int32_t after = (int32_t)call(last_code, NULL, 0, &esp);
  text = (const char*)call(last_error, NULL, 0, &esp);
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%smovar9.dat", dir);
  const int written = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
  snprintf(detail, sizeof detail, "set %d, _LANMANYDOWNLOAD = %d, code %d \"%s\", %s %s", (int)set,
           (int)downloaded, (int)after, text ? text : "(null)", path, written ? "written" : "missing");
  failed += report(set == 0 && downloaded == 0 && after == 0 && text && *text == 0 && written
                       ? "ok  " : "FAIL",
                   "record-directory", detail);
  arg = 0;
  call(set_dir, &arg, 1, &esp);
  snprintf(detail, sizeof detail, "%d calls left ESP elsewhere", esp);
  failed += report(esp == 0 ? "ok  " : "FAIL", "extensions-stdcall", detail);
  FreeLibrary(library);
  return failed;
}

int main(int argc, char** argv) {
  int failed = 0;
  int i = 1;
  while (i < argc) {
    if (strcmp(argv[i], "exports") == 0 && i + 2 < argc) {
      failed += run_exports(argv[i + 1], atoi(argv[i + 2]));
      i += 3;
    } else if (strcmp(argv[i], "extensions") == 0 && i + 2 < argc) {
      failed += run_extensions(argv[i + 1], argv[i + 2]);
      i += 3;
    } else if (strcmp(argv[i], "network") == 0 && i + 1 < argc) {
      failed += movar_check_network(argv[i + 1]);
      i += 2;
    } else if (strcmp(argv[i], "windows") == 0 && i + 1 < argc) {
      failed += movar_check_windows(argv[i + 1]);
      failed += movar_check_message_box();
      i += 2;
    } else {
      fprintf(stderr, "usage: movar-wine-host [exports IP COM] [extensions IP DIR] [network IP] "
                    "[windows DIR]\n");
      return 2;
    }
  }
  return failed;
}
