#include "fakes/fake_platform.h"

#include <algorithm>

namespace movar::fake {

LocalTime VirtualClock::localTime() {
  LocalTime t = start;
  std::int64_t seconds = t.second + now_ / 1000;
  t.second = static_cast<int>(seconds % 60);
  std::int64_t minutes = t.minute + seconds / 60;
  t.minute = static_cast<int>(minutes % 60);
  std::int64_t hours = t.hour + minutes / 60;
  t.hour = static_cast<int>(hours % 24);
  t.day += static_cast<int>(hours / 24);  // tests stay within one month
  return t;
}

void Inbox::add(const Bytes& bytes, Millis at, Millis perByte) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const Millis when = at + static_cast<Millis>(i) * perByte;
    // Keep arrival order even when a later reply was scheduled earlier.
    const Millis ordered = bytes_.empty() ? when : std::max(when, bytes_.back().at);
    bytes_.push_back({ordered, bytes[i]});
  }
}

namespace {

// Serial reads: n bytes, or a kSerialReadGap gap after a byte, or kSerialReadGap * (n + 1) in all.
std::size_t timedRead(VirtualClock& clock, Inbox& inbox, std::uint8_t* buffer, std::size_t n) {
  if (n == 0) return 0;
  const Millis deadline = clock.now() + kSerialReadGap * (static_cast<Millis>(n) + 1);
  std::size_t got = 0;
  Millis last = 0;
  while (got < n) {
    const Millis limit = got == 0 ? deadline : std::min(deadline, last + kSerialReadGap);
    if (inbox.empty() || inbox.nextAt() > limit) {
      clock.advanceTo(limit);
      break;
    }
    clock.advanceTo(inbox.nextAt());
    buffer[got++] = inbox.take();
    last = clock.now();
  }
  return got;
}

}  // namespace

class FakeSerialLine final : public SerialLine {
 public:
  FakeSerialLine(FakeSerialPorts& ports, int port, std::shared_ptr<FakeDevice> device,
                 const LineSettings& settings)
      : ports_(ports), port_(port), device_(std::move(device)), settings_(settings),
        link_(ports.clock_, inbox_, settings) {
    ++ports_.openLines;
    ports_.busy.insert(port_);
    if (device_) device_->onOpen(link_);
  }
  ~FakeSerialLine() override {
    --ports_.openLines;
    ports_.busy.erase(port_);
  }

  std::size_t read(std::uint8_t* buffer, std::size_t n) override {
    return timedRead(ports_.clock_, inbox_, buffer, n);
  }

  void write(const std::uint8_t* data, std::size_t n) override {
    Bytes bytes(data, data + n);
    ports_.writes.push_back({ports_.clock_.now(), port_, settings_.baud, bytes});
    if (ports_.onWrite) ports_.onWrite();
    if (device_) device_->onHostBytes(link_, bytes);
  }

  int port() const { return port_; }

 private:
  FakeSerialPorts& ports_;
  int port_;
  std::shared_ptr<FakeDevice> device_;
  LineSettings settings_;
  Inbox inbox_;
  DeviceLink link_;
};

namespace {
class SilentDevice final : public FakeDevice {
 public:
  void onHostBytes(DeviceLink&, const Bytes&) override {}
};
}  // namespace

void FakeSerialPorts::attachSilent(int port) { attach(port, std::make_shared<SilentDevice>()); }

std::unique_ptr<SerialLine> FakeSerialPorts::open(int port, const LineSettings& settings) {
  const auto it = devices_.find(port);
  if (it == devices_.end() || busy.count(port) != 0) {
    failedOpens.push_back(port);
    return nullptr;
  }
  opens.push_back({clock_.now(), port, settings});
  return std::make_unique<FakeSerialLine>(*this, port, it->second, settings);
}

Bytes FakeSerialPorts::writtenTo(int port) const {
  Bytes all;
  for (const HostWrite& w : writes)
    if (w.port == port) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
  return all;
}

Bytes FakeSerialPorts::allWritten() const {
  Bytes all;
  for (const HostWrite& w : writes) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
  return all;
}

class FakeNetStream final : public NetStream {
 public:
  FakeNetStream(FakeNetwork& network, std::shared_ptr<FakePeer> peer)
      : network_(network), peer_(std::move(peer)), link_(network.clock_, inbox_, closed_) {
    ++network_.openStreams;
    if (peer_) peer_->onConnect(link_);
  }
  ~FakeNetStream() override { --network_.openStreams; }

  long send(const std::uint8_t* data, std::size_t n) override {
    Bytes bytes(data, data + n);
    network_.sends.push_back({network_.clock_.now(), bytes});
    if (network_.onSend) network_.onSend();
    if (peer_) peer_->onHostBytes(link_, bytes);
    return static_cast<long>(n);
  }

  Received receive(std::uint8_t* buffer, std::size_t capacity, Millis limit) override {
    VirtualClock& clock = network_.clock_;
    network_.receiveLimits.push_back(limit);
    const Millis deadline = clock.now() + limit;
    if (inbox_.empty() || inbox_.nextAt() > deadline) {
      if (closed_) return {0, ReceiveStatus::Closed};
      clock.advanceTo(deadline);
      return {0, ReceiveStatus::Timeout};
    }
    clock.advanceTo(inbox_.nextAt());
    std::size_t got = 0;
    while (got < capacity && !inbox_.empty() && inbox_.nextAt() <= clock.now()) {
      buffer[got++] = inbox_.take();
    }
    return {got, ReceiveStatus::Ok};
  }

 private:
  FakeNetwork& network_;
  std::shared_ptr<FakePeer> peer_;
  Inbox inbox_;
  bool closed_ = false;
  PeerLink link_;
};

Connection FakeNetwork::connect(const char* ipv4Text, std::uint16_t port) {
  if (failWith != ConnectError::None) return {nullptr, failWith};
  const std::string ip = ipv4Text ? ipv4Text : "";
  connects.push_back(ip + ":" + std::to_string(port));
  const auto it = peers_.find(ip);
  if (it == peers_.end()) return {nullptr, ConnectError::Connect};
  return {std::make_unique<FakeNetStream>(*this, it->second), ConnectError::None};
}

class MemoryFile final : public File {
 public:
  MemoryFile(FakeFiles& files, std::string path) : files_(files), path_(std::move(path)) {
    ++files_.openFiles;
  }
  ~MemoryFile() override { --files_.openFiles; }

  std::optional<std::size_t> read(std::uint8_t* buffer, std::size_t n) override {
    if (files_.failReads.count(path_)) return std::nullopt;
    const Bytes& data = files_.contents[path_];
    const std::size_t available = position_ < data.size() ? data.size() - position_ : 0;
    const std::size_t count = std::min(n, available);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer);
    position_ += count;
    return count;
  }
  bool write(const std::uint8_t* data, std::size_t n) override {
    ++files_.writeCalls;
    if (files_.failWrites.count(path_)) return false;
    Bytes& content = files_.contents[path_];
    ++files_.versions_[path_];
    if (content.size() < position_ + n) content.resize(position_ + n);
    std::copy_n(data, n, content.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ += n;
    return true;
  }
  bool seek(std::uint64_t position) override {
    position_ = static_cast<std::size_t>(position);
    return true;
  }
  bool seekEnd() override {
    position_ = files_.contents[path_].size();
    return true;
  }

 private:
  FakeFiles& files_;
  std::string path_;
  std::size_t position_ = 0;
};

namespace {
std::string parentOf(const std::string& path) {
  const auto cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}
std::string withoutSeparator(const std::string& path) {
  return !path.empty() && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

class FakeRecordFileLock final : public RecordFileLock {
 public:
  FakeRecordFileLock(std::set<std::string>& held, std::string path)
      : held_(held), path_(std::move(path)) {
    held_.insert(path_);
  }
  ~FakeRecordFileLock() override { held_.erase(path_); }

 private:
  std::set<std::string>& held_;
  std::string path_;
};
}  // namespace

void FakeFiles::changed(const std::string& path) {
  ++versions_[path];
  ++versions_[parentOf(path)];
}

bool FakeFiles::sync(const std::string& path) {
  const std::string p = withoutSeparator(path);
  if (failSyncs.count(p) || !exists(p)) return false;
  syncs.push_back(p);
  syncedVersions_[p] = versions_[p];
  return true;
}

std::vector<std::string> FakeFiles::unsynced() const {
  std::vector<std::string> out;
  for (const auto& [path, version] : versions_) {
    const auto synced = syncedVersions_.find(path);
    const bool present = contents.count(path) != 0 || directories.count(path) != 0;
    if (present && (synced == syncedVersions_.end() || synced->second != version)) {
      out.push_back(path);
    }
  }
  return out;
}

std::unique_ptr<RecordFileLock> FakeFiles::lockRecordFile(const std::string& path) {
  if (heldRecordFiles.count(path)) return nullptr;
  return std::make_unique<FakeRecordFileLock>(heldRecordFiles, path);
}

bool FakeFiles::remove(const std::string& path) {
  if (contents.erase(path) == 0) return false;
  ++versions_[parentOf(path)];
  return true;
}

std::unique_ptr<File> FakeFiles::create(const std::string& path) {
  if (refuses(path) || !isDirectory(parentOf(path))) return nullptr;
  contents[path].clear();
  changed(path);
  return std::make_unique<MemoryFile>(*this, path);
}

std::unique_ptr<File> FakeFiles::openRead(const std::string& path) {
  if (refuses(path) || !contents.count(path)) return nullptr;
  return std::make_unique<MemoryFile>(*this, path);
}

std::unique_ptr<File> FakeFiles::openReadWrite(const std::string& path) { return openRead(path); }

std::unique_ptr<File> FakeFiles::openOrCreate(const std::string& path) {
  if (refuses(path) || !isDirectory(parentOf(path))) return nullptr;
  if (!contents.count(path)) changed(path);
  contents[path];
  return std::make_unique<MemoryFile>(*this, path);
}

bool FakeFiles::refuses(const std::string& path) {
  if (locked.count(path)) return true;
  const auto it = refusals.find(path);
  if (it == refusals.end() || it->second <= 0) return false;
  --it->second;
  return true;
}

bool FakeFiles::isDirectory(const std::string& path) {
  const bool trailing = !path.empty() && path.back() == '\\';
  return directories.count(trailing ? path.substr(0, path.size() - 1) : path) != 0;
}

bool FakeFiles::exists(const std::string& path) {
  return contents.count(path) != 0 || directories.count(path) != 0;
}

bool FakeFiles::makeDirectory(const std::string& path) {
  if (exists(path) || !isDirectory(parentOf(path))) return false;
  directories.insert(path);
  changed(path);
  return true;
}

bool FakeFiles::copyNoOverwrite(const std::string& from, const std::string& to) {
  if (!contents.count(from) || exists(to) || !isDirectory(parentOf(to))) return false;
  contents[to] = contents[from];
  changed(to);
  return true;
}

bool FakeFiles::move(const std::string& from, const std::string& to) {
  if (!contents.count(from) || exists(to) || !isDirectory(parentOf(to))) return false;
  contents[to] = std::move(contents[from]);
  contents.erase(from);
  changed(to);
  ++versions_[parentOf(from)];
  return true;
}

bool FakeFiles::replace(const std::string& from, const std::string& to) {
  if (!contents.count(from) || directories.count(to) || refuses(to) || !isDirectory(parentOf(to))) {
    return false;
  }
  contents[to] = std::move(contents[from]);
  contents.erase(from);
  changed(to);
  ++versions_[parentOf(from)];
  return true;
}

class RecordingWindow final : public ProgressWindow {
 public:
  RecordingWindow(RecordingUi& ui, ProgressWindowKind kind) : ui_(ui) {
    ++ui_.openWindows;
    log(kind == ProgressWindowKind::Serial ? "show serial" : "show lan");
  }
  ~RecordingWindow() override {
    --ui_.openWindows;
    log("destroy");
  }
  void setPosition(int percent) override { log("position " + std::to_string(percent)); }
  void setText(const std::string& text) override { log("text " + text); }
  void repaint() override { log("repaint"); }

 private:
  void log(std::string what) { ui_.windowEvents.push_back({ui_.clock_.now(), std::move(what)}); }
  RecordingUi& ui_;
};

std::unique_ptr<ProgressWindow> RecordingUi::showProgress(ProgressWindowKind kind) {
  return std::make_unique<RecordingWindow>(*this, kind);
}

}  // namespace movar::fake
