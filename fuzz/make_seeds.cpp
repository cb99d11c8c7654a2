// Writes each fuzz target's seeds: its flow's valid exchanges with the simulator's terminal in
// virtual time, recorded as the chunks the terminal sent after each host write or send.
//   movar_fuzz_seeds CORPUS_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fakes/sim_terminal.h"
#include "fingerprint_unit.h"
#include "modem.h"
#include "targets.h"

namespace movar::fuzz {
namespace {

// Bytes the host read after each of its writes, in the script's chunk format.
class Recorder {
 public:
  void wrote() {
    if (writing_) emit();
    writing_ = true;
  }
  void read(const std::uint8_t* data, std::size_t n) {
    if (writing_) pending_.insert(pending_.end(), data, data + n);
  }
  Bytes finish() {
    if (writing_) emit();
    writing_ = false;
    return std::move(script_);
  }

 private:
  void emit() {
    script_.push_back(static_cast<std::uint8_t>(pending_.size() & 0xFF));
    script_.push_back(static_cast<std::uint8_t>(pending_.size() >> 8));
    script_.insert(script_.end(), pending_.begin(), pending_.end());
    pending_.clear();
  }
  bool writing_ = false;
  Bytes pending_, script_;
};

class RecordingLine final : public SerialLine {
 public:
  RecordingLine(std::unique_ptr<SerialLine> inner, Recorder& recorder)
      : inner_(std::move(inner)), recorder_(recorder) {}
  std::size_t read(std::uint8_t* buffer, std::size_t n) override {
    const std::size_t got = inner_->read(buffer, n);
    recorder_.read(buffer, got);
    return got;
  }
  void write(const std::uint8_t* data, std::size_t n) override {
    recorder_.wrote();
    inner_->write(data, n);
  }

 private:
  std::unique_ptr<SerialLine> inner_;
  Recorder& recorder_;
};

class RecordingPorts final : public SerialPorts {
 public:
  RecordingPorts(SerialPorts& inner, Recorder& recorder) : inner_(inner), recorder_(recorder) {}
  std::unique_ptr<SerialLine> open(int port, const LineSettings& settings) override {
    std::unique_ptr<SerialLine> line = inner_.open(port, settings);
    if (!line) return nullptr;
    return std::make_unique<RecordingLine>(std::move(line), recorder_);
  }

 private:
  SerialPorts& inner_;
  Recorder& recorder_;
};

class RecordingStream final : public NetStream {
 public:
  RecordingStream(std::unique_ptr<NetStream> inner, Recorder& recorder)
      : inner_(std::move(inner)), recorder_(recorder) {}
  long send(const std::uint8_t* data, std::size_t n) override {
    recorder_.wrote();
    return inner_->send(data, n);
  }
  Received receive(std::uint8_t* buffer, std::size_t capacity, Millis limit) override {
    const Received got = inner_->receive(buffer, capacity, limit);
    recorder_.read(buffer, got.count);
    return got;
  }

 private:
  std::unique_ptr<NetStream> inner_;
  Recorder& recorder_;
};

class RecordingNetwork final : public Network {
 public:
  RecordingNetwork(Network& inner, Recorder& recorder) : inner_(inner), recorder_(recorder) {}
  Connection connect(const char* ip, std::uint16_t port) override {
    Connection c = inner_.connect(ip, port);
    if (c.stream) c.stream = std::make_unique<RecordingStream>(std::move(c.stream), recorder_);
    return c;
  }

 private:
  Network& inner_;
  Recorder& recorder_;
};

Bytes record(const FlowInfo& flow, std::uint8_t selector) {
  fake::FakePlatform f;
  fake::SimTerminal t({.speeds = {57600, 19200}});
  if (flow.flow == Flow::ModemDownload) sim::installModem(t.terminal);
  t.memory.fill(40);
  t.live.push({0x00, 0x7B, 0x93, 0x0E, 0x28, 0xC5});
  if (flow.flow == Flow::Fingerprint) {
    sim::FingerprintUnit& unit = t.terminal.part<sim::FingerprintUnit>();
    unit.store(7, 0, 1, sim::makeTemplate(7, 0, 1));
    unit.store(300, 2, 2, sim::makeTemplate(300, 2, 2));
    unit.setDirect(selector < 2);  // the version and the caller's packet go to the unit itself
  }
  t.on(f.serial, 1);
  t.on(f.network, kIp);
  Recorder recorder;
  RecordingPorts serial(f.serial, recorder);
  RecordingNetwork network(f.network, recorder);
  Platform platform{f.clock, serial, network, f.files, f.ui};
  runFlow(flow.flow, platform, selector);
  Bytes seed = recorder.finish();
  if (flow.selectors > 0) seed.insert(seed.begin(), selector);
  return seed;
}

// A record file and a transaction file as a download leaves them.
Bytes downloadedFile() {
  fake::FakePlatform f;
  fake::SimTerminal t;
  t.memory.fill(40);
  t.on(f.serial, 1);
  runFlow(Flow::SerialDownload, f.platform, 0);
  return f.files.contents[f.files.directory + "movar.dat"];
}

void write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace
}  // namespace movar::fuzz

int main(int argc, char** argv) {
  using namespace movar::fuzz;
  if (argc != 2) {
    std::fprintf(stderr, "usage: movar_fuzz_seeds CORPUS_DIR\n");
    return 2;
  }
  for (const FlowInfo& flow : kFlows) {
    const std::filesystem::path folder = std::filesystem::path(argv[1]) / flow.name;
    std::filesystem::create_directories(folder);
    if (flow.flow == Flow::RecordFiles) {
      write(folder / "download", downloadedFile());
      continue;
    }
    for (int selector = 0; selector < std::max(flow.selectors, 1); ++selector) {
      write(folder / ("valid-" + std::to_string(selector)),
            record(flow, static_cast<std::uint8_t>(selector)));
    }
  }
  return 0;
}
