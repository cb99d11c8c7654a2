#include "platform/posix/posix_platform.h"
#include "platform/progress_hook.h"

namespace movar {

namespace {
thread_local ProgressHook tlsProgressHook;
}  // namespace

ProgressHook currentProgressHook() { return tlsProgressHook; }
void setProgressHook(ProgressHook hook) { tlsProgressHook = hook; }

Platform& processPlatform() {
  // Stateless services; one set serves every thread.
  static posix::PosixClock clock;
  static posix::PosixSerialPorts serial;
  static posix::PosixNetwork network;
  static posix::PosixFiles files;
  static posix::PosixUi ui;
  static Platform platform{clock, serial, network, files, ui};
  return platform;
}

}  // namespace movar
