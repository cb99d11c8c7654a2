#include "download/realtime.h"
#include "exports/export_abi.h"

using movar::processPlatform;
using movar::download::RealtimeText;

// Each export keeps its text per thread: valid until the same export is called again on the
// same thread, and two threads polling two terminals never share a buffer.

MOVAR_API const char* MOVAR_CALL MOVAR_ENTRY(REALDOWNLOAD)(std::int32_t address, std::int32_t port) {
  thread_local RealtimeText text;
  text = movar::download::realDownload(processPlatform(), address, port);
  return text.data();
}

MOVAR_API const char* MOVAR_CALL MOVAR_ENTRY(LANREALDOWNLOAD)(const char* ipv4Text) {
  thread_local RealtimeText text;
  text = movar::download::lanRealDownload(processPlatform(), ipv4Text);
  return text.data();
}
