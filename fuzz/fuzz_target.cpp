// One libFuzzer target per flow; the build names the flow.
#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movar::fuzz::fuzzOne(movar::fuzz::Flow::MOVAR_FUZZ_FLOW, data, size);
  return 0;
}
