// Upper time bounds that hold on a busy 2-core machine and under valgrind, and still catch a wait
// too many: a bound is the waits a flow must make plus an allowance for its work. `make memcheck`
// runs six tests at a time with every host process under $MOVAR_TEST_WRAPPER, where the same work
// takes several times as long and the test process itself gets a smaller share of the cores.
#pragma once

#include <chrono>
#include <cstdlib>

namespace movar::itest {

inline bool underWrapper() { return std::getenv("MOVAR_TEST_WRAPPER") != nullptr; }

// For work done in a host process, which runs under the wrapper.
inline double hostAllowance(double nativeSeconds) { return underWrapper() ? 4 * nativeSeconds : nativeSeconds; }
inline std::chrono::milliseconds hostAllowance(std::chrono::milliseconds native) {
  return underWrapper() ? 4 * native : native;
}

// For work done in the test process, which shares the cores with the wrapped hosts.
inline double busyAllowance(double nativeSeconds) { return underWrapper() ? 2 * nativeSeconds : nativeSeconds; }

}  // namespace movar::itest
