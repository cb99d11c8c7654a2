#include "download/progress/download_window.h"

namespace movar::download {

DownloadWindow::DownloadWindow(Ui& ui, ProgressWindowKind kind)
    : window_(ui.showProgress(kind)), repaintAfterPosition_(kind == ProgressWindowKind::Lan) {
  if (window_) window_->repaint();
}

void DownloadWindow::position(std::uint64_t storedBytes, std::uint64_t announcedBytes) {
  if (!window_) return;
  window_->setTransferred(storedBytes, announcedBytes);
  if (announcedBytes == 0) return;
  window_->setPosition(static_cast<int>(storedBytes * 100 / announcedBytes));
  if (repaintAfterPosition_) window_->repaint();
}

void DownloadWindow::text(const std::string& text) {
  if (!window_) return;
  window_->setText(text);
  window_->repaint();
}

}  // namespace movar::download
