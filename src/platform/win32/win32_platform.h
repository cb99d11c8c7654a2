// Win32 implementations of the platform interfaces (kernel32, wsock32, user32/gdi32/comctl32).
#pragma once

#include <atomic>

#include "platform/platform.h"

namespace movar::win32 {

class Win32Clock final : public Clock {
 public:
  Millis now() override;
  void sleep(Millis ms) override;
  LocalTime localTime() override;
  void holdFinePauses() override;
  void releaseFinePauses() override;

 private:
  std::atomic<int> fineHolds_{0};
};

// COM port n is the device "comn".
class Win32SerialPorts final : public SerialPorts {
 public:
  std::unique_ptr<SerialLine> open(int port, const LineSettings& settings) override;
};

class Win32Network final : public Network {
 public:
  Connection connect(const char* ipv4Text, std::uint16_t port) override;
};

class Win32Files final : public Files {
 public:
  std::string recordDirectory() override;
  char separator() const override { return '\\'; }
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
};

// Real windows of the calling thread, and "Open Error" message boxes.
class Win32Ui final : public Ui {
 public:
  std::unique_ptr<ProgressWindow> showProgress(ProgressWindowKind kind) override;
  void messageBox(const std::string& text) override;
};

}  // namespace movar::win32
