#include "download/realtime.h"
#include "exports/export_abi.h"

using movar::processPlatform;
using movar::download::RealtimeText;
namespace dl = movar::download;

namespace {

// Each export keeps its text per thread: valid until the same export is called again on the
// same thread, and two threads polling two terminals never share a buffer.
template <int Export>
const char* keptPerThread(const RealtimeText& text) {
  thread_local RealtimeText kept;
  kept = text;
  return kept.data();
}

}  // namespace

MOVAR_API const char* MOVAR_CALL MOVAR_ENTRY(REALDOWNLOAD)(std::int32_t address, std::int32_t port) {
  return MOVAR_GUARDED(REALDOWNLOAD, keptPerThread<0>(dl::realDownload(processPlatform(), address, port)));
}

MOVAR_API const char* MOVAR_CALL MOVAR_ENTRY(LANREALDOWNLOAD)(const char* ipv4Text) {
  return MOVAR_GUARDED(LANREALDOWNLOAD, keptPerThread<1>(dl::lanRealDownload(processPlatform(), ipv4Text)));
}
