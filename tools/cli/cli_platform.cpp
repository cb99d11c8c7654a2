#include "cli_platform.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "interrupts.h"
#include "records/attendance_record.h"

namespace movar::cli {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);  // about ten frames a second

const char* caption(ProgressWindowKind kind) {
  return kind == ProgressWindowKind::Lan ? "LAN DOWNLOAD" : "Down loading";
}

// The library's progress window, seen by the watch.
class WatchedWindow final : public ProgressWindow {
 public:
  explicit WatchedWindow(CallWatch& watch, ProgressWindowKind kind) : watch_(watch) {
    watch_.windowShown(kind);
  }
  ~WatchedWindow() override { watch_.windowGone(); }
  void setPosition(int) override {}  // the bytes behind it come with setTransferred
  void setText(const std::string& text) override { watch_.windowText(text); }
  void repaint() override {}
  void setTransferred(std::uint64_t stored, std::uint64_t announced) override {
    watch_.transferred(stored, announced);
  }

 private:
  CallWatch& watch_;
};

}  // namespace

// One line on standard error, redrawn in place at most about ten times a second (and at each
// change of phase); cleared when the call returns.
class ProgressLine {
 public:
  explicit ProgressLine(ProgressWindowKind kind) : caption_(caption(kind)) {
    setProgressLineShown(true);
  }
  ~ProgressLine() {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    setProgressLineShown(false);
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void draw(Phase phase, const CallActivity& a, const std::string& text, bool phaseChanged) {
    const auto now = SteadyClock::now();
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

 private:
  const char* caption_;
  SteadyClock::time_point lastDraw_{};
};

CallWatch::CallWatch(bool progressLine)
    : wantLine_(progressLine && ::isatty(STDERR_FILENO) != 0) {}

CallWatch::~CallWatch() = default;

void CallWatch::enter(Phase phase) {
  const bool changed = phase != phase_;
  phase_ = phase;
  if (line_) line_->draw(phase_, activity_, connectionText_, changed);
}

void CallWatch::windowShown(ProgressWindowKind kind) {
  windowGone_ = false;
  if (wantLine_ && !line_) line_ = std::make_unique<ProgressLine>(kind);
  enter(Phase::Connecting);
}

void CallWatch::windowText(const std::string& text) {
  connectionText_ = text;
  if (line_) line_->draw(phase_, activity_, connectionText_, true);
}

void CallWatch::transferred(std::uint64_t stored, std::uint64_t announced) {
  activity_.storedBytes = stored;
  activity_.announcedBytes = announced;
  enter(stored >= announced ? Phase::Closing : Phase::Records);
}

void CallWatch::windowGone() {
  windowGone_ = true;
  enter(Phase::Closing);
}

void CallWatch::fileUsed() {
  if (windowGone_ && phase_ == Phase::Closing) enter(Phase::Converting);
}

void CallWatch::linkOpened() {
  if (windowGone_) enter(Phase::Erasing);
}

void CallWatch::wrote(const std::string& path) {
  if (std::find(activity_.written.begin(), activity_.written.end(), path) == activity_.written.end()) {
    activity_.written.push_back(path);
  }
}

void CallWatch::backedUp(const std::string& path) { activity_.backups.push_back(path); }

void CallWatch::callReturned() { line_.reset(); }

std::unique_ptr<File> WatchedFiles::written(std::unique_ptr<File> file, const std::string& path) {
  if (file) watch_.wrote(path);
  return file;
}

std::unique_ptr<File> WatchedFiles::create(const std::string& path) {
  watch_.fileUsed();
  return written(inner_.create(path), path);
}

std::unique_ptr<File> WatchedFiles::openRead(const std::string& path) {
  watch_.fileUsed();
  return inner_.openRead(path);
}

std::unique_ptr<File> WatchedFiles::openReadWrite(const std::string& path) {
  watch_.fileUsed();
  return written(inner_.openReadWrite(path), path);
}

std::unique_ptr<File> WatchedFiles::openOrCreate(const std::string& path) {
  watch_.fileUsed();
  return written(inner_.openOrCreate(path), path);
}

bool WatchedFiles::exists(const std::string& path) { return inner_.exists(path); }
bool WatchedFiles::isDirectory(const std::string& path) { return inner_.isDirectory(path); }
bool WatchedFiles::makeDirectory(const std::string& path) { return inner_.makeDirectory(path); }

bool WatchedFiles::copyNoOverwrite(const std::string& from, const std::string& to) {
  watch_.fileUsed();
  return inner_.copyNoOverwrite(from, to);
}

// Backups are copied under an intermediate name and moved into place.
bool WatchedFiles::move(const std::string& from, const std::string& to) {
  const bool moved = inner_.move(from, to);
  if (moved) watch_.backedUp(to);
  return moved;
}

bool WatchedFiles::replace(const std::string& from, const std::string& to) {
  return inner_.replace(from, to);
}
bool WatchedFiles::remove(const std::string& path) { return inner_.remove(path); }

std::unique_ptr<ProgressWindow> WatchedUi::showProgress(ProgressWindowKind kind) {
  return std::make_unique<WatchedWindow>(watch_, kind);
}

}  // namespace movar::cli
