// The only door to the operating system. Behaviour code sees these interfaces and nothing else,
// so every exchange can run against a virtual clock and scripted terminals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace movar {

using Bytes = std::vector<std::uint8_t>;
using Millis = std::int64_t;

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic milliseconds; every time limit is measured on this, never on the calendar clock.
  virtual Millis now() = 0;
  virtual void sleep(Millis ms) = 0;
  // Calendar time, for file stamps only.
  virtual LocalTime localTime() = 0;
  // Counted. While held, a pause lasts at least the time asked and on average no more than 1.1
  // times it, even at 1 ms: bytes paced one per millisecond (Windows otherwise sleeps a whole
  // scheduler tick, about 15.6 ms). Hold through FinePauses, for the length of a paced transfer.
  virtual void holdFinePauses() {}
  virtual void releaseFinePauses() {}
};

class FinePauses {
 public:
  explicit FinePauses(Clock& clock) : clock_(clock) { clock_.holdFinePauses(); }
  ~FinePauses() { clock_.releaseFinePauses(); }
  FinePauses(const FinePauses&) = delete;
  FinePauses& operator=(const FinePauses&) = delete;

 private:
  Clock& clock_;
};

struct LineSettings {
  int baud = 0;  // 0 keeps the speed the driver reports
  int stopBits = 1;
};

// The one timeout of every serial line: the gap after a byte that ends a read, and the time each
// wanted byte (plus one) adds to a silent read.
constexpr Millis kSerialReadGap = 5;

// An open serial device. read(n) returns when n bytes are in, when kSerialReadGap passes after the
// last byte, or after kSerialReadGap * (n + 1) in all, with whatever arrived (possibly nothing).
// Errors read as silence.
class SerialLine {
 public:
  virtual ~SerialLine() = default;
  virtual std::size_t read(std::uint8_t* buffer, std::size_t n) = 0;
  virtual void write(const std::uint8_t* data, std::size_t n) = 0;
};

class SerialPorts {
 public:
  virtual ~SerialPorts() = default;
  // Null when the device is missing or busy. Ports outside 1..9 never open.
  virtual std::unique_ptr<SerialLine> open(int port, const LineSettings& settings) = 0;
};

enum class ReceiveStatus { Ok, Closed, Error, Timeout };

struct Received {
  std::size_t count = 0;
  ReceiveStatus status = ReceiveStatus::Ok;
};

class NetStream {
 public:
  virtual ~NetStream() = default;
  // Bytes handed to the connection, or -1.
  virtual long send(const std::uint8_t* data, std::size_t n) = 0;
  // Waits at most `limit` for the first byte; returns what one receive brought.
  virtual Received receive(std::uint8_t* buffer, std::size_t capacity, Millis limit) = 0;
};

enum class ConnectError { None, LibraryStart, Socket, Connect };

struct Connection {
  std::unique_ptr<NetStream> stream;  // set when error is None
  ConnectError error = ConnectError::None;
  std::string reason = {};  // the system's words for a failure, when it gave any
};

class Network {
 public:
  virtual ~Network() = default;
  virtual Connection connect(const char* ipv4Text, std::uint16_t port) = 0;
};

class File {
 public:
  virtual ~File() = default;
  // Up to n bytes; fewer only at the end of the file. Nothing on a read error, which callers
  // must never take for the end of the file (a directory, a failing disk).
  virtual std::optional<std::size_t> read(std::uint8_t* buffer, std::size_t n) = 0;
  virtual bool write(const std::uint8_t* data, std::size_t n) = 0;
  virtual bool seek(std::uint64_t position) = 0;
  virtual bool seekEnd() = 0;
};

// Held while a download uses its record file (and the text file named after it); released by the
// destructor.
class RecordFileLock {
 public:
  virtual ~RecordFileLock() = default;
};

// A lock that is the life of a system handle (empty: a lock that holds nothing).
template <typename Handle>
class HandleLock final : public RecordFileLock {
 public:
  HandleLock() = default;
  explicit HandleLock(Handle handle) : handle_(std::move(handle)) {}

 private:
  Handle handle_;
};

class Files {
 public:
  virtual ~Files() = default;
  // Directory of the host's executable, ending in the path separator.
  virtual std::string recordDirectory() = 0;
  virtual char separator() const = 0;
  // Files are created and opened for writing only where they are: never through a link.
  virtual std::unique_ptr<File> create(const std::string& path) = 0;  // truncates
  virtual std::unique_ptr<File> openRead(const std::string& path) = 0;
  virtual std::unique_ptr<File> openReadWrite(const std::string& path) = 0;
  // Opens for reading and writing, creating the file when missing; never truncates.
  virtual std::unique_ptr<File> openOrCreate(const std::string& path) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool isDirectory(const std::string& path) = 0;  // a trailing separator is allowed
  virtual bool makeDirectory(const std::string& path) = 0;
  virtual bool copyNoOverwrite(const std::string& from, const std::string& to) = 0;
  // Rename within a volume; refuses an existing target.
  virtual bool move(const std::string& from, const std::string& to) = 0;
  // Rename within a volume over an existing target, which is never seen half written: it holds
  // either its old content or all of `from`.
  virtual bool replace(const std::string& from, const std::string& to) = 0;
  virtual bool remove(const std::string& path) = 0;
  // Makes a file's content, or a directory's entries, durable: on the disk, not in a cache that a
  // power cut empties. False when the system could not promise it.
  virtual bool sync(const std::string& path) = 0;
  // A directory reached without following a link in its last component.
  virtual bool isPlainDirectory(const std::string& path) = 0;
  // One download at a time per record file, across threads and processes; null when another
  // holds it. Where no lock can be made (a read-only folder, a link in the file's place) the
  // lock holds nothing: the record file cannot be created either, and the download fails on that.
  virtual std::unique_ptr<RecordFileLock> lockRecordFile(const std::string& path) = 0;
  // The system's words for why this thread's last failed call above failed ("" when unknown).
  virtual std::string lastErrorText() { return {}; }
};

enum class ProgressWindowKind { Serial, Lan };  // "Down loading" / "LAN DOWNLOAD"

// Destroyed with its owner; no message loop of its own.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void setPosition(int percent) = 0;
  virtual void setText(const std::string& text) = 0;
  virtual void repaint() = 0;
  // The bytes behind the position, for a window that counts records; the real windows show the
  // position alone.
  virtual void setTransferred(std::uint64_t /*storedBytes*/, std::uint64_t /*announcedBytes*/) {}
};

class Ui {
 public:
  virtual ~Ui() = default;
  virtual std::unique_ptr<ProgressWindow> showProgress(ProgressWindowKind kind) = 0;
  // Modal "Open Error" box with one OK button; returns when dismissed.
  virtual void messageBox(const std::string& text) = 0;
};

// How a tool holds a download's erase until its own copy of the records is safe (a record store
// committed). Internal: hosts of the library never see it. A download asks just before the erase,
// once every file it wrote and their folders are synced, and never erases when the answer is false.
class EraseGate {
 public:
  virtual ~EraseGate() = default;
  virtual bool mayErase() = 0;
  // The erase went out: acknowledged on a serial line, handed to the connection over TCP.
  virtual void erased(bool done) = 0;
};

struct Platform {
  Clock& clock;
  SerialPorts& serial;
  Network& network;
  Files& files;
  Ui& ui;
  EraseGate* eraseGate = nullptr;  // none: the erase follows the synced files at once
};

// The process's real platform (POSIX or Win32, chosen at build time).
Platform& processPlatform();

}  // namespace movar
