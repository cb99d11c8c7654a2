/* Test-only entry of the Windows test host that drives the library's own socket code. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* The simulator listens on ip:1024 and acknowledges address 0xFA. Returns the failed checks. */
int movar_check_network(const char* ip);

#ifdef __cplusplus
}
#endif
