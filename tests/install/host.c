/* A host built against the installed library: the header, the link and the loader all work. */
#include <movar.h>
#include <stdio.h>

int main(void) {
  /* An address that is no IPv4 address: refused before any network is touched. */
  int32_t result = _LANENABLEALL("");
  movar_set_progress_hook(NULL, NULL);
  printf("_LANENABLEALL(\"\") = %d\n", (int)result);
  return result == 1 ? 0 : 1;
}
