#include "platform/win32/win32_platform.h"

namespace movar {

Platform& processPlatform() {
  // Stateless services; one set serves every thread.
  static win32::Win32Clock clock;
  static win32::Win32SerialPorts serial;
  static win32::Win32Network network;
  static win32::Win32Files files;
  static win32::Win32Ui ui;
  static Platform platform{clock, serial, network, files, ui};
  return platform;
}

}  // namespace movar
