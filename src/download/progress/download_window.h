// How a download drives its progress window: shown and painted at once, position as the share of
// announced bytes stored, connection texts (LAN), destroyed before the conversion runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace movar::download {

class DownloadWindow {
 public:
  DownloadWindow(Ui& ui, ProgressWindowKind kind);
  // B * 100 / (N * 6); the LAN window is repainted after each position.
  void position(std::uint64_t storedBytes, std::uint64_t announcedBytes);
  void text(const std::string& text);
  void destroy() { window_.reset(); }

 private:
  std::unique_ptr<ProgressWindow> window_;
  bool repaintAfterPosition_;
};

}  // namespace movar::download
