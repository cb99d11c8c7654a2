// The real clock, adding up the pauses the flows make so that benchmarks can report them apart.
#pragma once

#include "platform/posix/posix_platform.h"

namespace movar::bench {

class PausingClock final : public Clock {
 public:
  Millis now() override { return real_.now(); }
  void sleep(Millis ms) override {
    slept += ms;
    real_.sleep(ms);
  }
  LocalTime localTime() override { return real_.localTime(); }
  void holdFinePauses() override { real_.holdFinePauses(); }
  void releaseFinePauses() override { real_.releaseFinePauses(); }
  Millis slept = 0;

 private:
  posix::PosixClock real_;
};

}  // namespace movar::bench
