#include "progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "interrupts.h"
#include "records/attendance_record.h"

namespace movar::cli {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);  // about ten frames a second

}  // namespace

using collect::Phase;

ProgressLine::ProgressLine() : onTerminal_(::isatty(STDERR_FILENO) != 0) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::show(ProgressWindowKind kind) {
  if (!onTerminal_) return;
  caption_ = kind == ProgressWindowKind::Lan ? "LAN DOWNLOAD" : "Down loading";
  shown_ = true;
  lastDraw_ = {};
  setProgressLineShown(true);
}

void ProgressLine::clear() {
  if (!shown_) return;
  shown_ = false;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  setProgressLineShown(false);
}

void ProgressLine::draw(Phase phase, const collect::CallActivity& a, const std::string& text,
                        bool phaseChanged) {
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!phaseChanged && now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  const std::uint64_t percent =
      a.announcedBytes == 0 ? 0 : std::min<std::uint64_t>(100, a.storedBytes * 100 / a.announcedBytes);
  const int filled = static_cast<int>(percent) * kBarWidth / 100;
  std::string what;
  switch (phase) {
    case Phase::Idle:
    case Phase::Connecting: what = text.empty() ? "connecting" : text; break;
    case Phase::Records:
      what = "records " + std::to_string(a.storedBytes / records::kAttendanceRecordSize) + " of " +
             std::to_string(a.announcedBytes / records::kAttendanceRecordSize);
      break;
    case Phase::Closing: what = "closing the link"; break;
    case Phase::Converting: what = "converting"; break;
    case Phase::Erasing: what = "erasing the terminal's records"; break;
  }
  std::fprintf(stderr, "\r\033[K%s [%.*s%*s] %3d%% %s", caption_, filled,
               "##############################", kBarWidth - filled, "",
               static_cast<int>(percent), what.c_str());
  std::fflush(stderr);
}

}  // namespace movar::cli
