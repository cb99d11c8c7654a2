// POSIX implementations of the platform interfaces.
#pragma once

#include <string>
#include <utility>

#include "platform/platform.h"

namespace movar::posix {

class PosixClock final : public Clock {
 public:
  Millis now() override;
  void sleep(Millis ms) override;
  LocalTime localTime() override;
  void holdFinePauses() override;
  void releaseFinePauses() override;
};

// COM port n is $MOVAR_COM<n>, else /dev/ttyS<n-1>.
class PosixSerialPorts final : public SerialPorts {
 public:
  std::unique_ptr<SerialLine> open(int port, const LineSettings& settings) override;
};

class PosixNetwork final : public Network {
 public:
  Connection connect(const char* ipv4Text, std::uint16_t port) override;
};

// The record directory is the one given (a tool's --dir), else the thread's choice or
// $MOVAR_RECORD_DIR, else the executable's.
class PosixFiles final : public Files {
 public:
  PosixFiles() = default;
  explicit PosixFiles(std::string recordDirectory) : recordDirectory_(std::move(recordDirectory)) {}
  std::string recordDirectory() override;
  char separator() const override { return '/'; }
  std::unique_ptr<File> create(const std::string& path) override;
  std::unique_ptr<File> openRead(const std::string& path) override;
  std::unique_ptr<File> openReadWrite(const std::string& path) override;
  std::unique_ptr<File> openOrCreate(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool isDirectory(const std::string& path) override;
  bool makeDirectory(const std::string& path) override;
  bool copyNoOverwrite(const std::string& from, const std::string& to) override;
  bool move(const std::string& from, const std::string& to) override;
  bool replace(const std::string& from, const std::string& to) override;
  bool remove(const std::string& path) override;
  bool sync(const std::string& path) override;
  bool isPlainDirectory(const std::string& path) override;
  std::unique_ptr<RecordFileLock> lockRecordFile(const std::string& path) override;
  std::string lastErrorText() override;

 private:
  std::string recordDirectory_;  // empty: the executable's
};

// No windows on Linux unless a host installs a progress hook; message boxes go to stderr.
class PosixUi final : public Ui {
 public:
  std::unique_ptr<ProgressWindow> showProgress(ProgressWindowKind kind) override;
  void messageBox(const std::string& text) override;
};

}  // namespace movar::posix
