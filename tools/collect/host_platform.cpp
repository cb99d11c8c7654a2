#include "collect/host_platform.h"

#include <algorithm>
#include <cstdio>


namespace movar::collect {

namespace {

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

void CallWatch::enter(Phase phase) {
  const bool changed = phase != phase_;
  phase_ = phase;
  if (viewShown_) view_->draw(phase_, activity_, connectionText_, changed);
}

void CallWatch::windowShown(ProgressWindowKind kind) {
  windowGone_ = false;
  if (view_ && !viewShown_) {
    view_->show(kind);
    viewShown_ = true;
  }
  enter(Phase::Connecting);
}

void CallWatch::windowText(const std::string& text) {
  connectionText_ = text;
  if (viewShown_) view_->draw(phase_, activity_, connectionText_, true);
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

void CallWatch::callReturned() {
  if (viewShown_) view_->clear();
  viewShown_ = false;
}

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

}  // namespace movar::collect
