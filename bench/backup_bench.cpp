// The paced backup send (_TXZWFILE) of a 3000-byte "zwbak.txt" on the real POSIX platform against
// the simulated device on a pty: its time against the floor of 1 ms per byte written, with the
// mandated pauses (the port's opening pause, 30 ms before the data, 1 ms before closing) apart.
// Target: a ratio of at most 1.1.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "backup/transfer.h"
#include "backup_device.h"
#include "platform/posix/posix_platform.h"
#include "pty_port.h"
#include "standard_terminal.h"

int main() {
  using namespace movar;
  constexpr std::size_t kFileBytes = 3000;
  constexpr double kTarget = 1.1;
  constexpr double kMandatedMs = 30 + 30 + 1;
  sim::Terminal device;
  sim::installStandardCommands(device);
  sim::PtyPort pty(device);
  for (int n = 2; n <= 9; ++n) ::setenv(("MOVAR_COM" + std::to_string(n)).c_str(), "/nonexistent", 1);
  ::setenv("MOVAR_COM1", pty.path().c_str(), 1);

  posix::PosixClock clock;
  posix::PosixSerialPorts serial;
  posix::PosixNetwork network;
  posix::PosixFiles files;
  posix::PosixUi ui;
  Platform platform{clock, serial, network, files, ui};
  const std::filesystem::path file = files.recordDirectory() + "zwbak.txt";
  {
    std::ofstream out(file, std::ios::binary);
    for (std::size_t k = 0; k < kFileBytes; ++k) out.put(static_cast<char>(k * 7));
  }
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t result = backup::sendBackup(platform, 1);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::filesystem::remove(file);
  const std::size_t written = device.receivedBytes().size();
  if (result != 0 || device.part<sim::BackupDevice>().state().stored.size() != kFileBytes) {
    std::fprintf(stderr, "backup bench: _TXZWFILE failed\n");
    return 1;
  }
  const double floor = static_cast<double>(written);
  const double ratio = (ms - kMandatedMs) / floor;
  std::printf("backup send (_TXZWFILE), %zu file bytes, %zu bytes written: %.0f ms beyond %.0f ms "
              "of mandated pauses against a floor of %.0f ms (1 ms per byte): ratio %.3f "
              "(target <= %.1f): %s\n",
              kFileBytes, written, ms - kMandatedMs, kMandatedMs, floor, ratio, kTarget,
              ratio <= kTarget ? "ok" : "OVER");
  return ratio <= kTarget ? 0 : 1;
}
