// A platform for unit tests: virtual time, scripted serial devices and network peers,
// in-memory files and a recording UI. Nothing here touches the OS.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace movar::fake {

// "15 01 FE" -> bytes.
inline Bytes hex(const std::string& text) {
  std::istringstream in(text);
  Bytes bytes;
  for (std::string b; in >> b;) bytes.push_back(static_cast<std::uint8_t>(std::stoi(b, nullptr, 16)));
  return bytes;
}

class VirtualClock final : public Clock {
 public:
  Millis now() override { return now_; }
  void sleep(Millis ms) override {
    if (ms > 0) now_ += ms;
    sleeps.push_back(ms);
  }
  LocalTime localTime() override;
  void holdFinePauses() override { ++fineHolds, ++fineHoldsTaken; }
  void releaseFinePauses() override { --fineHolds; }
  void advanceTo(Millis t) {
    if (t > now_) now_ = t;
  }

  LocalTime start{2009, 3, 14, 8, 15, 30};  // calendar time at virtual 0
  std::vector<Millis> sleeps;
  int fineHolds = 0, fineHoldsTaken = 0;

 private:
  Millis now_ = 0;
};

// A byte stream with arrival times, shared by the fake serial line and the fake socket.
class Inbox {
 public:
  void add(const Bytes& bytes, Millis at, Millis perByte = 0);
  bool empty() const { return bytes_.empty(); }
  Millis nextAt() const { return bytes_.front().at; }
  std::uint8_t take() {
    const std::uint8_t b = bytes_.front().value;
    bytes_.pop_front();
    return b;
  }
  void clear() { bytes_.clear(); }

 private:
  struct Timed {
    Millis at;
    std::uint8_t value;
  };
  std::deque<Timed> bytes_;
};

struct SerialOpen {
  Millis at;
  int port;
  LineSettings settings;
};

struct HostWrite {
  Millis at;
  int port;
  int baud;
  Bytes bytes;
};

class FakeSerialPorts;

// What the device on a port sees of one open line.
class DeviceLink {
 public:
  DeviceLink(VirtualClock& clock, Inbox& inbox, const LineSettings& settings)
      : clock_(clock), inbox_(inbox), settings_(settings) {}
  Millis now() const { return clock_.now(); }
  int baud() const { return settings_.baud; }
  int stopBits() const { return settings_.stopBits; }
  // Bytes reach the host `delay` ms from now, `perByte` ms apart.
  void reply(const Bytes& bytes, Millis delay = 0, Millis perByte = 0) {
    inbox_.add(bytes, clock_.now() + delay, perByte);
  }

 private:
  VirtualClock& clock_;
  Inbox& inbox_;
  LineSettings settings_;
};

class FakeDevice {
 public:
  virtual ~FakeDevice() = default;
  virtual void onOpen(DeviceLink&) {}
  virtual void onHostBytes(DeviceLink& link, const Bytes& bytes) = 0;
};

class FakeSerialPorts final : public SerialPorts {
 public:
  explicit FakeSerialPorts(VirtualClock& clock) : clock_(clock) {}
  std::unique_ptr<SerialLine> open(int port, const LineSettings& settings) override;

  void attach(int port, std::shared_ptr<FakeDevice> device) { devices_[port] = std::move(device); }
  // A port that opens but has nothing attached: reads are silent.
  void attachSilent(int port);

  std::vector<SerialOpen> opens;        // successful opens only
  std::vector<int> failedOpens;         // ports that did not open
  std::vector<HostWrite> writes;        // every host write, in order
  std::function<void()> onWrite;        // after each write is recorded, before the device sees it
  int openLines = 0;                    // lines currently open (leak check)
  std::set<int> busy;                   // ports held open (by the code or by a test)

  // Host bytes written on one port, concatenated.
  Bytes writtenTo(int port) const;
  Bytes allWritten() const;

 private:
  friend class FakeSerialLine;
  VirtualClock& clock_;
  std::map<int, std::shared_ptr<FakeDevice>> devices_;
};

class FakePeer {
 public:
  virtual ~FakePeer() = default;
  virtual void onConnect(class PeerLink&) {}
  virtual void onHostBytes(class PeerLink& link, const Bytes& bytes) = 0;
};

class PeerLink {
 public:
  PeerLink(VirtualClock& clock, Inbox& inbox, bool& closed) : clock_(clock), inbox_(inbox), closed_(closed) {}
  Millis now() const { return clock_.now(); }
  void reply(const Bytes& bytes, Millis delay = 0, Millis perByte = 0) {
    inbox_.add(bytes, clock_.now() + delay, perByte);
  }
  void closeConnection() { closed_ = true; }

 private:
  VirtualClock& clock_;
  Inbox& inbox_;
  bool& closed_;
};

struct NetSend {
  Millis at;
  Bytes bytes;
};

class FakeNetwork final : public Network {
 public:
  explicit FakeNetwork(VirtualClock& clock) : clock_(clock) {}
  Connection connect(const char* ipv4Text, std::uint16_t port) override;

  void attach(const std::string& ip, std::shared_ptr<FakePeer> peer) { peers_[ip] = std::move(peer); }
  ConnectError failWith = ConnectError::None;  // forced failure of the next connects

  std::vector<std::string> connects;  // texts connected to, port appended (":1024")
  std::vector<NetSend> sends;
  std::function<void()> onSend;  // after each send is recorded, before the peer sees it
  std::vector<Millis> receiveLimits;
  int openStreams = 0;

 private:
  friend class FakeNetStream;
  VirtualClock& clock_;
  std::map<std::string, std::shared_ptr<FakePeer>> peers_;
};

class FakeFiles final : public Files {
 public:
  std::string recordDirectory() override { return directory; }
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
  bool isPlainDirectory(const std::string& path) override { return isDirectory(path); }
  std::unique_ptr<RecordFileLock> lockRecordFile(const std::string& path) override;

  // Durability: every change to a file's content or to a directory's entries since its last
  // sync; empty when a power cut now would lose nothing.
  std::vector<std::string> unsynced() const;
  std::vector<std::string> syncs;           // paths synced, in order
  std::set<std::string> failSyncs;          // paths whose sync fails
  std::set<std::string> heldRecordFiles;    // record files a download holds

  std::string directory = "C:\\host\\";
  std::map<std::string, Bytes> contents;
  std::set<std::string> directories{"C:\\host"};
  std::set<std::string> locked;  // paths that refuse every open and create
  std::map<std::string, int> refusals;  // paths that refuse this many more opens and creates
  int openFiles = 0;
  int writeCalls = 0;
  std::set<std::string> failWrites;  // paths whose writes fail (a full disk)
  std::set<std::string> failReads;   // paths whose reads fail (a directory, a bad sector)

 private:
  bool refuses(const std::string& path);
  friend class MemoryFile;
  void changed(const std::string& path);  // the path and the directory naming it
  std::map<std::string, int> versions_, syncedVersions_;
};

struct WindowEvent {
  Millis at;
  std::string what;  // "show serial", "show lan", "position 42", "text connect fail", "repaint", "destroy"
};

class RecordingUi final : public Ui {
 public:
  explicit RecordingUi(VirtualClock& clock) : clock_(clock) {}
  std::unique_ptr<ProgressWindow> showProgress(ProgressWindowKind kind) override;
  void messageBox(const std::string& text) override { messages.push_back(text); }

  std::vector<std::string> messages;
  std::vector<WindowEvent> windowEvents;
  int openWindows = 0;

 private:
  friend class RecordingWindow;
  VirtualClock& clock_;
};

// Everything wired together; `platform` is what the code under test receives.
struct FakePlatform {
  VirtualClock clock;
  FakeSerialPorts serial{clock};
  FakeNetwork network{clock};
  FakeFiles files;
  RecordingUi ui{clock};
  Platform platform{clock, serial, network, files, ui};
};

}  // namespace movar::fake
