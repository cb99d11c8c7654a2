// The tools' platform: the POSIX services with record files in one folder, watched so that a
// tool can say what a call did (records, files written, backups made) and which phase a
// download is in (a progress view follows the phases when one is given). Message boxes are not
// shown: why a call failed comes from the library's failure account.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"

namespace movar::collect {

// What one call did on the PC.
struct CallActivity {
  std::vector<std::string> written;  // files created or opened for writing, each once
  std::vector<std::string> backups;  // backup copies put in place
  std::uint64_t storedBytes = 0;     // record bytes received
  std::uint64_t announcedBytes = 0;  // record bytes the terminal announced
};

// A download's phases, from the progress window's life and what the call touches after it.
enum class Phase { Idle, Connecting, Records, Closing, Converting, Erasing };

// What a person watches while a call runs (the command line's progress line). Shown from the
// call's first window, drawn at each change, cleared when the call returns.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void show(ProgressWindowKind kind) = 0;
  virtual void draw(Phase phase, const CallActivity& activity, const std::string& text,
                    bool phaseChanged) = 0;
  virtual void clear() = 0;
};

class CallWatch {
 public:
  explicit CallWatch(ProgressView* view = nullptr) : view_(view) {}
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

  void windowShown(ProgressWindowKind kind);
  void windowText(const std::string& text);
  void transferred(std::uint64_t stored, std::uint64_t announced);
  void windowGone();
  void fileUsed();
  void linkOpened();
  void wrote(const std::string& path);
  void backedUp(const std::string& path);
  void shown(const std::string& message) { lastMessage_ = message; }
  const std::string& lastMessage() const { return lastMessage_; }

  // The call returned: the progress line goes, the activity stays.
  void callReturned();
  const CallActivity& activity() const { return activity_; }
  Phase phase() const { return phase_; }

 private:
  void enter(Phase phase);
  ProgressView* view_;
  bool viewShown_ = false;
  CallActivity activity_;
  Phase phase_ = Phase::Idle;
  bool windowGone_ = false;
  std::string connectionText_;  // the LAN window's text field
  std::string lastMessage_;     // the last "Open Error" box
};

class WatchedFiles final : public Files {
 public:
  WatchedFiles(Files& inner, CallWatch& watch) : inner_(inner), watch_(watch) {}
  std::string recordDirectory() override { return inner_.recordDirectory(); }
  char separator() const override { return inner_.separator(); }
  std::unique_ptr<File> create(const std::string& path) override;
  std::unique_ptr<File> openRead(const std::string& path) override;
  std::unique_ptr<File> openReadWrite(const std::string& path) override;
  std::unique_ptr<File> openOrCreate(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool isDirectory(const std::string& path) override;
  bool makeDirectory(const std::string& path) override;
  bool copyNoOverwrite(const std::string& from, const std::string& to) override;
  bool move(const std::string& from, const std::string& to) override;
  bool remove(const std::string& path) override;
  bool replace(const std::string& from, const std::string& to) override;
  bool sync(const std::string& path) override { return inner_.sync(path); }
  bool isPlainDirectory(const std::string& path) override { return inner_.isPlainDirectory(path); }
  std::unique_ptr<RecordFileLock> lockRecordFile(const std::string& path) override {
    return inner_.lockRecordFile(path);
  }
  std::string lastErrorText() override { return inner_.lastErrorText(); }

 private:
  std::unique_ptr<File> written(std::unique_ptr<File> file, const std::string& path);
  Files& inner_;
  CallWatch& watch_;
};

class WatchedSerialPorts final : public SerialPorts {
 public:
  WatchedSerialPorts(SerialPorts& inner, CallWatch& watch) : inner_(inner), watch_(watch) {}
  std::unique_ptr<SerialLine> open(int port, const LineSettings& settings) override {
    watch_.linkOpened();
    return inner_.open(port, settings);
  }

 private:
  SerialPorts& inner_;
  CallWatch& watch_;
};

class WatchedNetwork final : public Network {
 public:
  WatchedNetwork(Network& inner, CallWatch& watch) : inner_(inner), watch_(watch) {}
  Connection connect(const char* ipv4Text, std::uint16_t port) override {
    watch_.linkOpened();
    return inner_.connect(ipv4Text, port);
  }

 private:
  Network& inner_;
  CallWatch& watch_;
};

class WatchedUi final : public Ui {
 public:
  explicit WatchedUi(CallWatch& watch) : watch_(watch) {}
  std::unique_ptr<ProgressWindow> showProgress(ProgressWindowKind kind) override;
  // The failure account says why a call failed; the box's text is kept in case it does not.
  void messageBox(const std::string& text) override { watch_.shown(text); }

 private:
  CallWatch& watch_;
};

class HostPlatform {
 public:
  // `view` (optional) must outlive the platform.
  explicit HostPlatform(const std::string& directory, ProgressView* view = nullptr)
      : files_(directory), watch_(view) {}
  Platform& platform() { return platform_; }
  CallWatch& watch() { return watch_; }
  // A download's erase waits for `gate` (it must outlive the calls).
  void holdErase(EraseGate* gate) { platform_.eraseGate = gate; }

 private:
  posix::PosixClock clock_;
  posix::PosixSerialPorts serial_;
  posix::PosixNetwork network_;
  posix::PosixFiles files_;
  CallWatch watch_;
  WatchedSerialPorts watchedSerial_{serial_, watch_};
  WatchedNetwork watchedNetwork_{network_, watch_};
  WatchedFiles watchedFiles_{files_, watch_};
  WatchedUi ui_{watch_};
  Platform platform_{clock_, watchedSerial_, watchedNetwork_, watchedFiles_, ui_};
};

}  // namespace movar::collect
