// Conversion speed: the library's conversion against a straightforward stdio converter (one
// fread and one fprintf per record), on the same record files in the same run, with real files
// under /tmp. The mandated waits are excluded by a clock that does not sleep.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "records/conversion.h"
#include "records/conversion_engine.h"

namespace {

namespace fs = std::filesystem;
using namespace movar;

class NoWaitClock final : public Clock {
 public:
  Millis now() override { return real_.now(); }
  void sleep(Millis) override {}
  LocalTime localTime() override { return real_.localTime(); }

 private:
  posix::PosixClock real_;
};

struct BenchPlatform {
  NoWaitClock clock;
  posix::PosixSerialPorts serial;
  posix::PosixNetwork network;
  posix::PosixFiles files;
  posix::PosixUi ui;
  Platform platform{clock, serial, network, files, ui};
};

BenchPlatform& benchPlatform() {
  static BenchPlatform p;
  return p;
}

const std::string& workDir() {
  static const std::string dir = [] {
    std::string pattern = "/tmp/movar-bench-XXXXXX";
    return std::string(::mkdtemp(pattern.data())) + "/";
  }();
  return dir;
}

// r<N>.dat: N attendance records with varied fields and machine numbers below 100.
std::string recordFile(std::int64_t n) {
  const std::string base = "r" + std::to_string(n);
  const std::string path = workDir() + base + ".dat";
  if (fs::exists(path)) return base;
  std::vector<char> chunk;
  chunk.reserve(6 * 65536);
  std::ofstream out(path, std::ios::binary);
  for (std::int64_t i = 0; i < n; ++i) {
    const auto v = static_cast<unsigned>(i * 2654435761u);
    const unsigned low = v % 32, hour = v % 24, minute = (v >> 8) % 60;
    const char record[6] = {
        static_cast<char>(i >> 8), static_cast<char>(i), static_cast<char>(0x90 | (1 + v % 12)),
        static_cast<char>((v & 0x40) | (1 + (v >> 4) % 28)),  // flag 30 on some records
        static_cast<char>((low >> 2) << 5 | hour), static_cast<char>((low & 3) << 6 | minute)};
    chunk.insert(chunk.end(), record, record + 6);
    if (chunk.size() >= 6 * 65536) {
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      chunk.clear();
    }
  }
  out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  return base;
}

// What a straightforward converter does: a record at a time, a formatted write per line.
void stdioConvert(const std::string& in, const std::string& out) {
  std::FILE* input = std::fopen(in.c_str(), "rb");
  std::FILE* output = std::fopen(out.c_str(), "wb");
  unsigned char r[6];
  while (std::fread(r, 1, 6, input) == 6) {
    const unsigned low = (r[4] >> 5) * 4u + (r[5] >> 6);
    const unsigned machine = (r[3] & 0x80) ? low + 60 : (r[3] & 0x40) ? low + 30 : low;
    std::fprintf(output, "%06u%02u:%02u%04u%02u%02u%02u\r\n", r[0] * 256u + r[1], r[4] & 0x1Fu,
                 r[5] & 0x3Fu, 2000u + (r[2] >> 4), r[2] & 0x0Fu, r[3] & 0x3Fu, machine);
  }
  std::fclose(output);
  std::fclose(input);
}

// The engine's conversion step alone: open, stream, close.
void engineConvert(const std::string& in, const std::string& out) {
  Files& files = benchPlatform().files;
  auto input = files.openRead(in);
  auto output = files.create(out);
  records::convertStream(*input, *output, records::kAttendanceFormat, {});
}

// Each timed run starts with no dirty pages left by the one before.
void settle(benchmark::State& state) {
  state.PauseTiming();
  ::sync();
  state.ResumeTiming();
}

void BM_Stdio(benchmark::State& state) {
  const std::string base = recordFile(state.range(0));
  for (auto _ : state) {
    settle(state);
    stdioConvert(workDir() + base + ".dat", workDir() + base + ".stdio.txt");
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Engine(benchmark::State& state) {
  const std::string base = recordFile(state.range(0));
  for (auto _ : state) {
    settle(state);
    engineConvert(workDir() + base + ".dat", workDir() + base + ".txt");
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

// The whole _CONVERFILE routine with its text backup, waits excluded.
void BM_ConverFileRoutine(benchmark::State& state) {
  const std::string base = recordFile(state.range(0));
  for (auto _ : state) {
    settle(state);
    if (records::convertFile(benchPlatform().platform, workDir().c_str(), base.c_str()) != 0) {
      state.SkipWithError("conversion failed");
    }
    state.PauseTiming();
    fs::remove_all(workDir() + "downbak");
    state.ResumeTiming();
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_Stdio)->Arg(1'000'000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine)->Arg(1'000'000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConverFileRoutine)->Arg(1'000'000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Stdio)->Arg(10'000'000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine)->Arg(10'000'000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConverFileRoutine)->Arg(10'000'000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's real time per iteration, to print the ratios at the end.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

bool sameOutput(std::int64_t n) {
  const std::string base = workDir() + recordFile(n);
  stdioConvert(base + ".dat", base + ".stdio.txt");
  engineConvert(base + ".dat", base + ".txt");
  std::ifstream a(base + ".stdio.txt", std::ios::binary), b(base + ".txt", std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!sameOutput(100'000)) {
    std::cerr << "the two converters disagree\n";
    fs::remove_all(workDir());
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* n : {"1000000", "10000000"}) {
    const auto time = [&](const std::string& name) {
      return reporter.seconds[name + "/" + n + "/iterations:" + (std::string(n) == "10000000" ? "2" : "3") +
                              "/real_time"];
    };
    const double stdio = time("BM_Stdio"), engine = time("BM_Engine"),
                 routine = time("BM_ConverFileRoutine");
    if (stdio > 0 && engine > 0 && routine > 0) {
      std::printf("%s records: engine %.1fx the stdio converter; whole _CONVERFILE routine "
                  "(with its backup copy, waits excluded) %.1fx\n",
                  n, stdio / engine, stdio / routine);
    }
  }
  fs::remove_all(workDir());
  benchmark::Shutdown();
  return 0;
}
