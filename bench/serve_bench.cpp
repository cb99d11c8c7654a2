// movar serve's HTTP side over a store of a million facts from 1000 terminals: the status page
// and /api/terminals against the floor of a request that reads nothing (/healthz), and
// /api/records streaming every fact as CSV against the store's own walk of them, with the
// process's peak memory before and after the stream.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "serve/http_site.h"
#include "serve/view.h"
#include "store/store.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTerminals = 1000;
constexpr int kFactsEach = 1000;

long peakKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

double millisecondsOf(httplib::Client& client, const char* path, int times, std::size_t* bytes = nullptr) {
  const auto start = Clock::now();
  for (int k = 0; k < times; ++k) {
    const auto answer = client.Get(path);
    if (!answer || answer->status != 200) {
      std::fprintf(stderr, "GET %s failed\n", path);
      std::exit(1);
    }
    if (bytes) *bytes = answer->body.size();
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / times;
}

}  // namespace

int main() {
  using namespace movar;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("movar-serve-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string location = (dir / "records.db").string();
  std::vector<serve::TerminalConfig> terminals;
  {
    auto store = store::openStore(location);
    const std::string today = serve::localDayBefore(std::chrono::system_clock::now(), 0);
    for (int t = 0; t < kTerminals; ++t) {
      const std::string ip = "10.0." + std::to_string(t / 250) + "." + std::to_string(t % 250 + 1);
      terminals.push_back({"terminal-" + std::to_string(t), {collect::Target::Kind::Tcp, 0, 0, ip}, 50000, {}});
      std::vector<store::Fact> facts;
      for (int k = 0; k < kFactsEach; ++k) {
        const std::string day = serve::localDayBefore(std::chrono::system_clock::now(), k % 30);
        char time[32];
        std::snprintf(time, sizeof time, " %02d:%02d", (k / 30) % 24, k % 60);
        facts.push_back({ip, k, day + time, 1});
      }
      store::Attempt a;
      a.terminal = ip;
      a.started = a.finished = "2026-01-01 00:00:00";
      a.result = t % 10 == 0 ? store::Attempt::Result::Failed : store::Attempt::Result::Ok;
      a.reason = t % 10 == 0 ? "connection to " + ip + ":1024 failed: Connection refused" : "";
      a.records = kFactsEach;
      a.announced = kFactsEach;
      store->write(facts, "bench", &a);
    }
  }
  serve::SiteState state;
  state.configure(terminals, std::chrono::minutes(10));
  state.ticked();
  std::shared_ptr<store::Store> reader = store::openStore(location, store::Access::Read);
  serve::HttpSite site({&state, [&] { return reader; },
                        [&]() -> std::unique_ptr<store::Store> { return store::openStore(location, store::Access::Read); },
                        [] { return std::string(); }});
  const serve::Listen listen{"127.32.250.1", 18250};
  site.start(listen);
  httplib::Client client(listen.host, listen.port);
  client.set_read_timeout(120, 0);
  std::size_t pageBytes = 0;
  millisecondsOf(client, "/", 1);  // the day tally's first count of every fact
  const double floor = millisecondsOf(client, "/healthz", 50);
  const double page = millisecondsOf(client, "/", 10, &pageBytes);
  const double api = millisecondsOf(client, "/api/terminals", 10);
  std::printf("floor (/healthz)        %8.2f ms\n", floor);
  std::printf("GET / (%zu kB)          %8.2f ms   (%.0fx the floor; goal under 100 ms)\n", pageBytes / 1024, page, page / floor);
  std::printf("GET /api/terminals      %8.2f ms   (%.0fx the floor; goal under 100 ms)\n", api, api / floor);

  auto walker = store::openStore(location, store::Access::Read);
  auto start = Clock::now();
  long walked = 0;
  walker->forEach({}, [&](const store::StoredFact&) { return ++walked > 0; });
  const double walkSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long peakBefore = peakKb();
  start = Clock::now();
  long lines = 0;
  std::size_t bytes = 0;
  const auto answer = client.Get("/api/records?format=csv", [&](const char* data, std::size_t length) {
    bytes += length;
    for (std::size_t k = 0; k < length; ++k) lines += data[k] == '\n';
    return true;
  });
  const double streamSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!answer || answer->status != 200 || lines != walked + 1) {
    std::fprintf(stderr, "the stream gave %ld lines for %ld facts\n", lines, walked);
    return 1;
  }
  std::printf("store walk              %8.2f M facts/s (the floor)\n", static_cast<double>(walked) / walkSeconds / 1e6);
  std::printf("GET /api/records csv    %8.2f M facts/s (%.0f%% of the floor; goal 1 M/s), %zu MB\n",
              static_cast<double>(walked) / streamSeconds / 1e6, 100 * walkSeconds / streamSeconds, bytes >> 20);
  std::printf("peak memory             %8ld kB before the stream, %ld kB after\n", peakBefore, peakKb());
  site.stop();
  std::filesystem::remove_all(dir);
  return 0;
}
