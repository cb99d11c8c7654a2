/* The exported entry points built so far, for hosts and tests written in C or C++. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define MOVAR_IMPORT_CALL __stdcall
#else
#define MOVAR_IMPORT_CALL
#endif

int32_t MOVAR_IMPORT_CALL _TESTCOM(int32_t address, int32_t port);

/* Real-time records: 20 digits (more for machine numbers of 100 or above), or twenty zeros. */
const char* MOVAR_IMPORT_CALL _REALDOWNLOAD(int32_t address, int32_t port);
const char* MOVAR_IMPORT_CALL _LANREALDOWNLOAD(const char* ipv4Text);

/* Record downloads: 0 when every record arrived and was checked, 1 otherwise. */
int32_t MOVAR_IMPORT_CALL _DOWNLOAD(int32_t address, int32_t port);
int32_t MOVAR_IMPORT_CALL _LANDOWNLOAD(const char* ip);
int32_t MOVAR_IMPORT_CALL _LANMANYDOWNLOAD(const char* ip, int32_t file_number);
int32_t MOVAR_IMPORT_CALL _LANDOWNLOADADDR(const char* ip, int32_t address);

/* Record memory: 0 when the terminal took the command, 1 otherwise. */
int32_t MOVAR_IMPORT_CALL _DELETE(int32_t address, int32_t port);
int32_t MOVAR_IMPORT_CALL _RESTORE(int32_t address, int32_t port);
int32_t MOVAR_IMPORT_CALL _RESTOREALL(int32_t address, int32_t port);
int32_t MOVAR_IMPORT_CALL _LANDELETE(const char* ip);
int32_t MOVAR_IMPORT_CALL _LANRESTOREALL(const char* ip);

/* Record files. `dir` ends in a path separator; `name` of _COPYNAME is a counted string (length
 * at -4, reference count at -8). */
int32_t MOVAR_IMPORT_CALL _CONVERFILE(const char* dir, const char* name);
int32_t MOVAR_IMPORT_CALL _CONVERXFFILE(const char* dir, const char* name);
int32_t MOVAR_IMPORT_CALL _COPYNAME(const char* dir, int32_t number, const char* name);

/* Extensions (Linux build). */
typedef void (*movar_progress_hook_fn)(void* context, int event, int value, const char* text);
void movar_set_progress_hook(movar_progress_hook_fn hook, void* context);

#ifdef __cplusplus
}
#endif
