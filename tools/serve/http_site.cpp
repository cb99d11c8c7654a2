#include "serve/http_site.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <map>

#include "serve/metrics.h"
#include "serve/page.h"
#include "serve/records_api.h"
#include "serve/view.h"
#include "store/sql.h"

namespace movar::serve {

namespace {

using Json = nlohmann::ordered_json;
constexpr int kPlotDays = 30;
constexpr std::size_t kMaxRequestBytes = 16 * 1024;
constexpr std::size_t kStreamChunk = 256 * 1024;

bool sameToken(const std::string& given, const std::string& wanted) {
  // Constant in time over the wanted token's length: the comparison says nothing of how much matched.
  unsigned char differ = given.size() == wanted.size() ? 0 : 1;
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    differ |= static_cast<unsigned char>(wanted[k] ^ (k < given.size() ? given[k] : 0));
  }
  return differ == 0;
}

Json attemptJson(const store::Attempt& a) {
  Json j{{"started", a.started}, {"finished", a.finished}, {"result", store::resultText(a.result)},
         {"reason", a.reason}, {"records", a.records}, {"new", a.added}};
  j["announced"] = a.announced ? Json(*a.announced) : Json(nullptr);
  return j;
}

Json terminalJson(const TerminalView& v) {
  Json j{{"name", v.config.name}, {"address", v.config.target.text()}, {"store_name", v.config.target.storeName()},
         {"state", stateText(v.state)}, {"downloading", v.counters.running}};
  j["last_attempt"] = v.status ? attemptJson(v.status->last) : Json(nullptr);
  j["last_success"] = v.status && v.status->lastSuccess ? Json(*v.status->lastSuccess) : Json(nullptr);
  j["memory_records"] = v.memoryRecords ? Json(*v.memoryRecords) : Json(nullptr);
  j["capacity"] = v.config.capacity ? Json(*v.config.capacity) : Json(nullptr);
  j["failed_in_a_row"] = v.status ? v.status->failedInARow : 0;
  const std::optional<store::Attempt> clock = v.status ? v.status->lastClock : std::nullopt;
  j["clock"] = Json{{"care", v.config.clock == ClockCare::Daily ? "daily" : "never"}};
  j["clock"]["last_setting"] = clock ? Json{{"started", clock->started}, {"finished", clock->finished},
                                            {"result", store::resultText(clock->result)}, {"reason", clock->reason}}
                                     : Json(nullptr);
  j["clock"]["last_set"] = v.status && v.status->lastClockSet ? Json(*v.status->lastClockSet) : Json(nullptr);
  j["held_by"] = v.holder.empty() ? Json(nullptr) : Json(v.holder);
  j["last_collector"] = v.lastHolder.empty() ? Json(nullptr) : Json(v.lastHolder);
  return j;
}

void refuse(httplib::Response& res, int status, const std::string& why) {
  res.status = status;
  res.set_content(why + "\n", "text/plain; charset=utf-8");
}

}  // namespace

std::string healthProblem(const SiteSnapshot& site) {
  if (!site.storeProblem.empty()) return site.storeProblem;
  if (site.stopping) return "the service is stopping";
  if (!site.lastTick) return "no round has begun yet";
  const auto late = site.every + site.every / 2 + std::chrono::seconds(30);
  const auto since = std::chrono::steady_clock::now() - *site.lastTick;
  if (since > late) {
    return "rounds are late: the latest began " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(since).count()) + " s ago";
  }
  return "";
}

// Facts per day, kept between requests: only what arrived since the last look is counted.
struct HttpSite::DayCache {
  std::mutex mutex;
  std::map<std::pair<std::string, std::string>, std::int64_t> counts;  // (day, terminal)
  std::int64_t last = 0;

  std::vector<store::DayCount> since(store::Store& store, const std::string& firstDay,
                                     const std::optional<std::string>& terminal) {
    std::lock_guard lock(mutex);
    const store::DayTally tally = store.tallyDays(last);
    for (const store::DayCount& d : tally.counts) counts[{d.day, d.terminal}] += d.facts;
    last = tally.last;
    std::vector<store::DayCount> out;
    for (auto at = counts.lower_bound({firstDay, ""}); at != counts.end(); ++at) {
      if (!terminal || at->first.second == *terminal) out.push_back({at->first.first, at->first.second, at->second});
    }
    return out;
  }
};

HttpSite::HttpSite(HttpSources sources)
    : sources_(std::move(sources)), days_(std::make_unique<DayCache>()), server_(std::make_unique<httplib::Server>()) {}

HttpSite::~HttpSite() { stop(); }

void HttpSite::stop() {
  if (server_) server_->stop();
  if (listening_.joinable()) listening_.join();
}

void HttpSite::start(const Listen& listen) {
  httplib::Server& s = *server_;
  s.set_payload_max_length(kMaxRequestBytes);
  s.set_read_timeout(5, 0);
  s.set_write_timeout(10, 0);
  s.set_keep_alive_timeout(5);
  s.set_keep_alive_max_count(100);
  s.new_task_queue = [] { return new httplib::ThreadPool(8); };

  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (req.method != "GET" && req.method != "HEAD") {
      res.set_header("Allow", "GET, HEAD");
      refuse(res, 405, "read-only: GET only");
      return httplib::Server::HandlerResponse::Handled;
    }
    const std::string token = sources_.token();
    if (token.empty()) return httplib::Server::HandlerResponse::Unhandled;
    const std::string given = req.get_header_value("Authorization");
    const std::string bearer = "Bearer ";
    if (given.rfind(bearer, 0) != 0 || !sameToken(given.substr(bearer.size()), token)) {
      res.set_header("WWW-Authenticate", "Bearer");
      refuse(res, 401, "a bearer token is needed (Authorization: Bearer TOKEN)");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  // The rows of every configured terminal, or nullopt with the answer already set.
  const auto views = [this](httplib::Response& res, std::shared_ptr<store::Store>& reader) -> std::optional<std::vector<TerminalView>> {
    reader = sources_.reader();
    if (!reader) {
      const SiteSnapshot site = sources_.state->snapshot();
      refuse(res, 503, site.storeProblem.empty() ? "the store is not open yet" : site.storeProblem);
      return std::nullopt;
    }
    try {
      return terminalViews(sources_.state->snapshot(), reader->terminals(), store::fleet(*reader),
                           std::chrono::system_clock::now());
    } catch (const store::StoreError& e) {
      refuse(res, 503, e.what());
      return std::nullopt;
    }
  };

  const auto page = [this, views](const httplib::Request&, httplib::Response& res, std::optional<std::string> only) {
    std::shared_ptr<store::Store> reader;
    auto rows = views(res, reader);
    if (!rows) return;
    const SiteSnapshot site = sources_.state->snapshot();
    PageInput in;
    std::optional<std::string> storeName;
    if (only) {
      for (const TerminalView& v : *rows) {
        if (v.config.name == *only) {
          in.terminals.push_back(v);
          storeName = v.config.target.storeName();
        }
      }
      if (in.terminals.empty()) return refuse(res, 404, "no terminal is named \"" + *only + "\" here");
      in.terminal = only;
    } else {
      in.terminals = std::move(*rows);
    }
    const auto now = std::chrono::system_clock::now();
    in.firstDay = localDayBefore(now, kPlotDays - 1);
    in.lastDay = localDayBefore(now, 0);
    try {
      in.days = days_->since(*reader, in.firstDay, storeName);
    } catch (const store::StoreError& e) {
      return refuse(res, 503, e.what());
    }
    in.health = healthProblem(site);
    in.refreshSeconds = static_cast<int>(std::clamp<long long>(
        std::chrono::duration_cast<std::chrono::seconds>(site.every).count() / 2, 5, 60));
    res.set_content(statusPage(in), "text/html; charset=utf-8");
  };
  s.Get("/", [page](const httplib::Request& req, httplib::Response& res) { page(req, res, std::nullopt); });
  s.Get(R"(/terminal/([^/]+))", [page](const httplib::Request& req, httplib::Response& res) {
    page(req, res, std::string(req.matches[1]));
  });

  s.Get("/api/terminals", [views](const httplib::Request&, httplib::Response& res) {
    std::shared_ptr<store::Store> reader;
    const auto rows = views(res, reader);
    if (!rows) return;
    Json out = Json::array();
    for (const TerminalView& v : *rows) out.push_back(terminalJson(v));
    res.set_content(out.dump() + "\n", "application/json");
  });

  s.Get("/metrics", [this, views](const httplib::Request&, httplib::Response& res) {
    std::shared_ptr<store::Store> reader;
    const auto rows = views(res, reader);
    if (!rows) return;
    res.set_content(metricsText(*rows, sources_.state->snapshot()), "text/plain; version=0.0.4; charset=utf-8");
  });

  s.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
    const std::string problem = healthProblem(sources_.state->snapshot());
    if (!problem.empty()) return refuse(res, 503, problem);
    res.set_content("ok\n", "text/plain; charset=utf-8");
  });

  s.Get("/api/records", [this](const httplib::Request& req, httplib::Response& res) {
    std::string error;
    const std::optional<RecordsRequest> r = recordsRequest(req.params, error);
    if (!r) return refuse(res, 400, error);
    std::shared_ptr<store::Store> own;
    try {
      own = sources_.openReader();
    } catch (const store::StoreError& e) {
      return refuse(res, 503, e.what());
    }
    if (!own) return refuse(res, 503, healthProblem(sources_.state->snapshot()));
    res.set_chunked_content_provider(r->csv ? "text/csv; charset=utf-8" : "application/x-ndjson",
                                     [own, request = *r](std::size_t, httplib::DataSink& sink) {
      std::string chunk;
      chunk.reserve(kStreamChunk + 256);
      if (request.csv) chunk = kRecordsCsvHeader;
      bool open = true;
      try {
        own->forEach(request.query, [&](const store::StoredFact& fact) {
          appendFact(chunk, fact, request.csv);
          if (chunk.size() >= kStreamChunk) {
            open = sink.write(chunk.data(), chunk.size());
            chunk.clear();
          }
          return open;
        });
      } catch (const store::StoreError&) {
        return false;  // the stream breaks off: a reader never takes a cut list for a whole one
      }
      if (open && !chunk.empty()) open = sink.write(chunk.data(), chunk.size());
      if (open) sink.done();
      return open;
    });
  });

  if (!s.bind_to_port(listen.host, listen.port)) {
    throw std::runtime_error("cannot listen on " + listen.text() + ": " + std::strerror(errno));
  }
  const auto ended = std::make_shared<std::atomic<bool>>(false);
  listening_ = std::thread([this, ended] {
    server_->listen_after_bind();
    *ended = true;
  });
  // The server ignores a stop() until its accept loop runs: wait for that, so that a stop right
  // after the start (a SIGTERM at boot) is never lost and stop() never joins a loop for good.
  while (!server_->is_running() && !*ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace movar::serve
