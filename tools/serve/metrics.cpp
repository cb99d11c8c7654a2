#include "serve/metrics.h"

#include <charconv>
#include <functional>
#include <optional>

namespace movar::serve {

namespace {

std::string labelValue(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

// The shortest text that reads back as the same double.
std::string number(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return std::string(text, error == std::errc{} ? end : text);
}

struct Family {
  const char* name;
  const char* type;
  const char* help;
  std::function<std::optional<double>(const TerminalView&)> value;
};

}  // namespace

std::string metricsText(const std::vector<TerminalView>& terminals, const SiteSnapshot& site) {
  const Family families[] = {
      {"movar_terminal_up", "gauge", "1 when the terminal's latest download succeeded",
       [](const TerminalView& v) -> std::optional<double> {
         return v.status && v.status->last.result == store::Attempt::Result::Ok ? 1 : 0;
       }},
      {"movar_collection_last_success_timestamp_seconds", "gauge", "when the latest good download ended",
       [](const TerminalView& v) -> std::optional<double> {
         if (!v.status || !v.status->lastSuccess) return std::nullopt;
         const auto at = store::utcSeconds(*v.status->lastSuccess);
         return at ? std::optional<double>(static_cast<double>(*at)) : std::nullopt;
       }},
      {"movar_collection_duration_seconds", "gauge", "how long the latest download took",
       [](const TerminalView& v) -> std::optional<double> {
         return v.counters.lastSeconds > 0 ? std::optional<double>(v.counters.lastSeconds) : std::nullopt;
       }},
      {"movar_collection_failures_total", "counter", "downloads that failed since the service started",
       [](const TerminalView& v) -> std::optional<double> { return static_cast<double>(v.counters.failures); }},
      {"movar_records_stored_total", "counter", "facts new in the store since the service started",
       [](const TerminalView& v) -> std::optional<double> { return static_cast<double>(v.counters.stored); }},
      {"movar_terminal_memory_records", "gauge", "records the terminal's memory held at its latest download",
       [](const TerminalView& v) -> std::optional<double> {
         return v.memoryRecords ? std::optional<double>(static_cast<double>(*v.memoryRecords)) : std::nullopt;
       }},
      {"movar_terminal_memory_capacity_records", "gauge", "records the terminal's memory holds",
       [](const TerminalView& v) -> std::optional<double> {
         return v.config.capacity ? std::optional<double>(static_cast<double>(*v.config.capacity)) : std::nullopt;
       }},
  };
  std::string out;
  for (const Family& f : families) {
    out += std::string("# HELP ") + f.name + " " + f.help + "\n# TYPE " + f.name + " " + f.type + "\n";
    for (const TerminalView& v : terminals) {
      if (const auto value = f.value(v)) {
        out += std::string(f.name) + "{terminal=\"" + labelValue(v.config.name) + "\"} " + number(*value) + "\n";
      }
    }
  }
  // Which collector holds a terminal now (holding="1") or collected it last (holding="0").
  out += "# HELP movar_terminal_collector_info the collector holding the terminal, or else the one that collected it last\n"
         "# TYPE movar_terminal_collector_info gauge\n";
  for (const TerminalView& v : terminals) {
    const std::string& who = v.holder.empty() ? v.lastHolder : v.holder;
    if (who.empty()) continue;
    out += "movar_terminal_collector_info{terminal=\"" + labelValue(v.config.name) + "\",collector=\"" + labelValue(who) +
           "\",holding=\"" + (v.holder.empty() ? "0" : "1") + "\"} 1\n";
  }
  out += "# HELP movar_round_duration_seconds how long the latest round took, from its start to its last download's end\n"
         "# TYPE movar_round_duration_seconds gauge\n";
  if (site.lastRoundSeconds) out += "movar_round_duration_seconds " + number(*site.lastRoundSeconds) + "\n";
  return out;
}

}  // namespace movar::serve
