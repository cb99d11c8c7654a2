// Download throughput, end to end through the library's download flows on the real POSIX platform
// against the simulated terminal:
//  (a) serial, 5000 records, the simulator pacing its output at 57600 baud 8N1: transfer time
//      against the line floor (bytes on the wire x 10 / 57600); target efficiency >= 0.97;
//  (b) TCP on loopback, 131071 records: transfer time against the round-trip floor measured in the
//      same run (one 1-byte ping-pong per block); target <= 1.5x.
// The transfer runs from the host's start request to its closing byte; the pauses the flows must
// make (port open, closing pauses, conversion waits, the erase) are reported apart.
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "download/lan_download.h"
#include "download/serial_download.h"
#include "pausing_clock.h"
#include "platform/posix/posix_platform.h"
#include "pty_port.h"
#include "record_memory.h"
#include "standard_terminal.h"
#include "loopback_listen.h"
#include "tcp_listener.h"

namespace {

using movar::bench::PausingClock;

namespace fs = std::filesystem;
using namespace movar;
using Seconds = std::chrono::duration<double>;
using SteadyClock = std::chrono::steady_clock;

double since(SteadyClock::time_point t) { return Seconds(SteadyClock::now() - t).count(); }

// Times of the host's single-byte 0x15 writes and the bytes moved, on every line or stream.
struct WireLog {
  std::vector<SteadyClock::time_point> starts;  // each 0x15 the host sends
  std::vector<std::uint64_t> bytesAtStarts;     // bytes moved until then, both ways
  std::uint64_t hostBytes = 0, terminalBytes = 0;
  void sent(const std::uint8_t* data, std::size_t n) {
    hostBytes += n;
    if (n == 1 && data[0] == 0x15) {
      starts.push_back(SteadyClock::now());
      bytesAtStarts.push_back(hostBytes + terminalBytes);
    }
  }
  // From the start request to the closing byte, both included.
  double transferSeconds() const {
    return starts.size() >= 2 ? Seconds(starts.back() - starts.front()).count() : 0;
  }
  std::uint64_t transferBytes() const {
    return starts.size() >= 2 ? bytesAtStarts.back() - bytesAtStarts.front() + 1 : 0;
  }
};

class LoggedLine final : public SerialLine {
 public:
  LoggedLine(std::unique_ptr<SerialLine> line, WireLog& log) : line_(std::move(line)), log_(log) {}
  std::size_t read(std::uint8_t* b, std::size_t n) override {
    const std::size_t got = line_->read(b, n);
    log_.terminalBytes += got;
    return got;
  }
  void write(const std::uint8_t* d, std::size_t n) override {
    line_->write(d, n);
    log_.sent(d, n);
  }

 private:
  std::unique_ptr<SerialLine> line_;
  WireLog& log_;
};

class LoggedPorts final : public SerialPorts {
 public:
  explicit LoggedPorts(WireLog& log) : log_(log) {}
  std::unique_ptr<SerialLine> open(int port, const LineSettings& s) override {
    auto line = real_.open(port, s);
    return line ? std::make_unique<LoggedLine>(std::move(line), log_) : nullptr;
  }

 private:
  posix::PosixSerialPorts real_;
  WireLog& log_;
};

class LoggedStream final : public NetStream {
 public:
  LoggedStream(std::unique_ptr<NetStream> s, WireLog& log) : stream_(std::move(s)), log_(log) {}
  long send(const std::uint8_t* d, std::size_t n) override {
    const long r = stream_->send(d, n);
    log_.sent(d, n);
    return r;
  }
  Received receive(std::uint8_t* b, std::size_t c, Millis limit) override {
    const Received r = stream_->receive(b, c, limit);
    log_.terminalBytes += r.count;
    return r;
  }

 private:
  std::unique_ptr<NetStream> stream_;
  WireLog& log_;
};

class LoggedNetwork final : public Network {
 public:
  explicit LoggedNetwork(WireLog& log) : log_(log) {}
  Connection connect(const char* ip, std::uint16_t port) override {
    Connection c = real_.connect(ip, port);
    if (c.stream) c.stream = std::make_unique<LoggedStream>(std::move(c.stream), log_);
    return c;
  }

 private:
  posix::PosixNetwork real_;
  WireLog& log_;
};

// The record directory is a scratch directory instead of the bench's own.
class ScratchFiles final : public Files {
 public:
  explicit ScratchFiles(std::string dir) : dir_(std::move(dir)) {}
  std::string recordDirectory() override { return dir_; }
  char separator() const override { return '/'; }
  std::unique_ptr<File> create(const std::string& p) override { return real_.create(p); }
  std::unique_ptr<File> openRead(const std::string& p) override { return real_.openRead(p); }
  std::unique_ptr<File> openReadWrite(const std::string& p) override { return real_.openReadWrite(p); }
  std::unique_ptr<File> openOrCreate(const std::string& p) override { return real_.openOrCreate(p); }
  bool exists(const std::string& p) override { return real_.exists(p); }
  bool isDirectory(const std::string& p) override { return real_.isDirectory(p); }
  bool makeDirectory(const std::string& p) override { return real_.makeDirectory(p); }
  bool copyNoOverwrite(const std::string& a, const std::string& b) override {
    return real_.copyNoOverwrite(a, b);
  }
  bool move(const std::string& a, const std::string& b) override { return real_.move(a, b); }
  bool replace(const std::string& a, const std::string& b) override { return real_.replace(a, b); }
  bool remove(const std::string& p) override { return real_.remove(p); }
  bool sync(const std::string& p) override { return real_.sync(p); }
  bool isPlainDirectory(const std::string& p) override { return real_.isPlainDirectory(p); }
  std::unique_ptr<RecordFileLock> lockRecordFile(const std::string& p) override {
    return real_.lockRecordFile(p);
  }

 private:
  posix::PosixFiles real_;
  std::string dir_;
};

struct BenchPlatform {
  explicit BenchPlatform(const std::string& dir) : serial(log), network(log), files(dir) {}
  WireLog log;
  PausingClock clock;
  LoggedPorts serial;
  LoggedNetwork network;
  ScratchFiles files;
  posix::PosixUi ui;
  Platform platform{clock, serial, network, files, ui};
};

struct Scratch {
  fs::path path;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "movar-bench-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~Scratch() { fs::remove_all(path); }
  std::string slash() const { return path.string() + "/"; }
};

std::size_t recordBlocks(std::uint32_t records) { return (records + 27) / 28; }

void report(const char* what, int result, double total, double transfer, double floor,
            double pausesSlept, const char* ratioName, double ratio, bool met) {
  if (*what) std::printf("%s\n", what);
  std::printf("  result %d, export %.3f s, transfer %.3f s, floor %.3f s\n", result, total, transfer, floor);
  std::printf("  %s %.3f (%s)\n", ratioName, ratio, met ? "target met" : "TARGET MISSED");
  std::printf("  outside the transfer: %.3f s, of which mandated pauses slept %.3f s\n",
              total - transfer, pausesSlept);
}

bool serialBench() {
  constexpr std::uint32_t kRecords = 5000;
  constexpr int kBaud = 57600;
  sim::Terminal terminal({.address = 1, .speeds = {kBaud}, .paceOutput = true});
  sim::installStandardCommands(terminal);
  terminal.part<sim::RecordMemory>().fill(kRecords);
  sim::PtyPort pty(terminal);
  for (int n = 2; n <= 9; ++n) ::setenv(("MOVAR_COM" + std::to_string(n)).c_str(), "/nonexistent", 1);
  ::setenv("MOVAR_COM1", pty.path().c_str(), 1);

  Scratch dir;
  BenchPlatform bench(dir.slash());
  const auto start = SteadyClock::now();
  const int result = download::serialDownload(bench.platform, 1, 1);
  const double total = since(start);
  // The start request and the closing byte are the download's only single 0x15 writes.
  const double transfer = bench.log.transferSeconds();
  const std::uint64_t wire = bench.log.transferBytes();
  const double floor = static_cast<double>(wire) * 10.0 / kBaud;
  const double efficiency = transfer > 0 ? floor / transfer : 0;
  std::printf("(a) serial download, %u records (%zu blocks), simulator paced at %d 8N1, %llu bytes on the wire\n",
              kRecords, recordBlocks(kRecords), kBaud, static_cast<unsigned long long>(wire));
  const bool met = result == 0 && efficiency >= 0.97;
  report("", result, total, transfer, floor, static_cast<double>(bench.clock.slept) / 1000,
         "efficiency (floor / transfer)", efficiency, met);
  return met;
}

// One 1-byte ping-pong per block on the loopback: the floor of a stop-and-wait transfer.
double pingPongFloor(std::size_t rounds) {
  const sim::LoopbackSocket listener = sim::listenOnFreeLoopback(1024, 1);
  std::thread echo([&listener] {
    const sim::UniqueFd peer(::accept(listener.fd.get(), nullptr, nullptr));
    std::uint8_t b = 0;
    while (::recv(peer.get(), &b, 1, 0) == 1) ::send(peer.get(), &b, 1, MSG_NOSIGNAL);
  });
  posix::PosixNetwork network;
  Connection c = network.connect(listener.ip.c_str(), 1024);
  double seconds = 0;
  if (c.stream) {
    std::uint8_t b = 0x06;
    const auto start = SteadyClock::now();
    for (std::size_t i = 0; i < rounds; ++i) {
      c.stream->send(&b, 1);
      c.stream->receive(&b, 1, 10'000);
    }
    seconds = since(start);
    c.stream.reset();
  }
  echo.join();
  return seconds;
}

bool lanBench() {
  constexpr std::uint32_t kRecords = 131071;
  constexpr int kRuns = 3;  // best of three on both sides: loopback timing is noisy
  sim::Terminal terminal({.address = 1});
  sim::installStandardCommands(terminal);
  sim::TcpListener listener(terminal);
  const char* ip = listener.ip().c_str();
  const std::size_t exchanges = recordBlocks(kRecords) + 2;  // header, blocks, end
  double transfer = 0, floor = 0, total = 0, slept = 0;
  int result = 0;
  for (int run = 0; run < kRuns; ++run) {
    terminal.part<sim::RecordMemory>().fill(kRecords);
    Scratch dir;
    BenchPlatform bench(dir.slash());
    const auto start = SteadyClock::now();
    result |= download::lanDownload(bench.platform, ip);
    const double t = bench.log.transferSeconds();
    if (run == 0 || t < transfer) {
      transfer = t;
      total = since(start);
      slept = static_cast<double>(bench.clock.slept) / 1000;
    }
    const double f = pingPongFloor(exchanges);
    if (run == 0 || f < floor) floor = f;
  }
  const double ratio = floor > 0 ? transfer / floor : 0;
  std::printf("(b) LAN download on loopback, %u records (%zu exchanges), best of %d\n", kRecords,
              exchanges, kRuns);
  const bool met = result == 0 && ratio > 0 && ratio <= 1.5;
  report("", result, total, transfer, floor, slept, "ratio (transfer / round-trip floor)", ratio, met);
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  bool met = true;
  if (only.empty() || only == "serial") met = serialBench() && met;
  if (only.empty() || only == "lan") met = lanBench() && met;
  return met ? 0 : 1;
}
