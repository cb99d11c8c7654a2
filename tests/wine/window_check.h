/* Test-only entries of the Windows test host that drive the library's own window code. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Shows "Down loading" and "LAN DOWNLOAD", checks them through the Win32 API and saves
 * down-loading.png and lan-download.png into `directory` (ending in a backslash). Prints one
 * line per check; returns the number of failed checks. */
int movar_check_windows(const char* directory);

/* Shows an "Open Error" box and dismisses it from a CBT hook; returns the failed checks. */
int movar_check_message_box(void);

#ifdef __cplusplus
}
#endif
