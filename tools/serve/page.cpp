#include "serve/page.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>

namespace movar::serve {

namespace {

constexpr const char* kStyle = R"(body{font:15px/1.4 sans-serif;margin:1.2em;color:#222}
h1{font-size:1.3em;margin:0 0 .4em}.summary{font-size:1.15em;margin:.4em 0 1em;padding:.5em .8em;border-radius:4px}
.summary.bad{background:#fde2e1;color:#8a1410}.summary.good{background:#e3f4e1;color:#1d5b17}
table{border-collapse:collapse;width:100%}th,td{text-align:left;padding:.35em .6em;border-bottom:1px solid #ddd;vertical-align:top}
th{background:#f3f3f3}.state{font-weight:bold;padding:.1em .5em;border-radius:3px;white-space:nowrap}
.failing .state{background:#c62828;color:#fff}.stale .state{background:#ef8f00;color:#fff}
.never .state{background:#777;color:#fff}.ok .state{background:#2e7d32;color:#fff}
tr.failing{background:#fff4f4}.reason{color:#8a1410}.meter{width:9em;height:.8em;background:#eee;border:1px solid #bbb;display:inline-block}
.meter span{display:block;height:100%;background:#4a8}.meter.warn span{background:#d32f2f}.small{color:#666;font-size:.9em}
svg{display:block;margin:.5em 0 1.2em}a{color:#1558b0})";

std::string ago(const std::optional<std::string>& utc) {
  if (!utc) return "never";
  const auto at = store::utcSeconds(*utc);
  if (!at) return htmlEscaped(*utc);
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const long long s = std::max<long long>(0, now - *at);
  const std::string span = s < 120 ? std::to_string(s) + " s" : s < 7200 ? std::to_string(s / 60) + " min"
                           : s < 172800 ? std::to_string(s / 3600) + " h" : std::to_string(s / 86400) + " days";
  return htmlEscaped(*utc) + " UTC <span class=\"small\">(" + span + " ago)</span>";
}

const char* stateClass(TerminalState s) {
  switch (s) {
    case TerminalState::Failing: return "failing";
    case TerminalState::Stale: return "stale";
    case TerminalState::NeverCollected: return "never";
    case TerminalState::Ok: return "ok";
  }
  return "";
}

std::string row(const TerminalView& v) {
  std::string out = std::string("<tr class=\"") + stateClass(v.state) + "\" data-terminal=\"" + htmlEscaped(v.config.name) + "\">";
  out += "<td><a href=\"/terminal/" + htmlEscaped(v.config.name) + "\">" + htmlEscaped(v.config.name) + "</a></td>";
  out += "<td>" + htmlEscaped(v.config.target.text()) + "</td>";
  out += std::string("<td><span class=\"state\">") + stateText(v.state) + "</span>" +
         (v.counters.running ? " <span class=\"small\">downloading</span>" : "") + "</td>";
  out += "<td>" + ago(v.status ? v.status->lastSuccess : std::nullopt) + "</td>";
  out += "<td>";
  if (v.status) {
    out += ago(v.status->last.finished) + " " + store::resultText(v.status->last.result);
    if (!v.status->last.reason.empty()) out += "<div class=\"reason\">" + htmlEscaped(v.status->last.reason) + "</div>";
    // A clock that was not set is worth a note, never the row's state.
    if (const auto& clock = v.status->lastClock; clock && clock->result != store::Attempt::Result::Ok) {
      out += "<div class=\"reason clock\">clock not set " + ago(clock->finished) + ": " + htmlEscaped(clock->reason) + "</div>";
    }
  } else {
    out += "never";
  }
  out += "</td><td>";
  if (v.memoryRecords) {
    out += std::to_string(*v.memoryRecords);
    if (v.config.capacity) {
      const double share = static_cast<double>(*v.memoryRecords) / static_cast<double>(*v.config.capacity);
      const int percent = static_cast<int>(std::min(share, 1.0) * 100 + 0.5);
      out += " of " + std::to_string(*v.config.capacity) + " <span class=\"meter" + (share >= 0.8 ? " warn" : "") +
             "\" title=\"" + std::to_string(percent) + " %\"><span style=\"width:" + std::to_string(percent) +
             "%\"></span></span>";
    }
  } else {
    out += "&mdash;";
  }
  out += "</td><td class=\"failures\">" + std::to_string(v.status ? v.status->failedInARow : 0) + "</td>";
  out += "<td class=\"collector\">" +
         (!v.holder.empty() ? "held by " + htmlEscaped(v.holder)
          : !v.lastHolder.empty() ? htmlEscaped(v.lastHolder) : std::string("&mdash;")) + "</td></tr>\n";
  return out;
}

// Days from `first` to `last`, both "YYYY-MM-DD", in the calendar (noon avoids any DST edge).
std::vector<std::string> daysBetween(const std::string& first, const std::string& last) {
  std::vector<std::string> out;
  std::tm t{};
  if (std::sscanf(first.c_str(), "%4d-%2d-%2d", &t.tm_year, &t.tm_mon, &t.tm_mday) != 3) return out;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  t.tm_hour = 12;
  for (int k = 0; k < 400; ++k) {
    std::tm day = t;
    day.tm_mday += k;
    ::timegm(&day);  // normalises
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &day);
    out.push_back(text);
    if (out.back() >= last) break;
  }
  return out;
}

}  // namespace

std::string htmlEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string dayPlot(const std::vector<store::DayCount>& counts, const std::string& firstDay, const std::string& lastDay) {
  std::map<std::string, std::int64_t> perDay;
  for (const store::DayCount& d : counts) perDay[d.day] += d.facts;
  const std::vector<std::string> days = daysBetween(firstDay, lastDay);
  std::int64_t most = 1;
  for (const auto& [day, facts] : perDay) most = std::max(most, facts);
  constexpr int kWidth = 24, kHeight = 120, kTop = 16, kBase = kTop + kHeight;
  const int width = static_cast<int>(days.size()) * kWidth + 10;
  std::string out = "<svg class=\"plot\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(kBase + 22) + "\" role=\"img\" aria-label=\"facts per day\">";
  out += "<line x1=\"0\" y1=\"" + std::to_string(kBase) + "\" x2=\"" + std::to_string(width) + "\" y2=\"" +
         std::to_string(kBase) + "\" stroke=\"#999\"/>";
  for (std::size_t k = 0; k < days.size(); ++k) {
    const int x = static_cast<int>(k) * kWidth + 5;
    const auto found = perDay.find(days[k]);
    if (found != perDay.end() && found->second > 0) {
      const int h = std::max(1, static_cast<int>(found->second * kHeight / most));
      const std::string facts = std::to_string(found->second);
      out += "<rect class=\"day\" data-day=\"" + days[k] + "\" data-facts=\"" + facts + "\" x=\"" + std::to_string(x) +
             "\" y=\"" + std::to_string(kBase - h) + "\" width=\"" + std::to_string(kWidth - 4) + "\" height=\"" +
             std::to_string(h) + "\" fill=\"#3b78c4\"><title>" + days[k] + ": " + facts + " facts</title></rect>";
      out += "<text x=\"" + std::to_string(x + (kWidth - 4) / 2) + "\" y=\"" + std::to_string(kBase - h - 3) +
             "\" font-size=\"9\" text-anchor=\"middle\">" + facts + "</text>";
    }
    if (k % 5 == 0 || k + 1 == days.size()) {
      out += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(kBase + 14) + "\" font-size=\"10\">" +
             days[k].substr(5) + "</text>";
    }
  }
  return out + "</svg>";
}

std::string statusPage(const PageInput& in) {
  std::vector<TerminalView> rows = in.terminals;
  std::stable_sort(rows.begin(), rows.end(), [](const TerminalView& a, const TerminalView& b) { return a.state < b.state; });
  std::vector<std::string> visit;
  for (const TerminalView& v : rows) {
    if (v.state != TerminalState::Ok) visit.push_back(v.config.name);
  }
  const std::string title = in.terminal ? "movar: " + *in.terminal : "movar: the site";
  std::string out = "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" content=\"" +
                    std::to_string(in.refreshSeconds) + "\"><title>" + htmlEscaped(title) + "</title><style>" + kStyle +
                    "</style></head><body>";
  out += "<h1>" + htmlEscaped(title) + "</h1>";
  if (in.terminal) out += "<p><a href=\"/\">all terminals</a></p>";
  if (!in.health.empty()) out += "<div class=\"summary bad\" id=\"health\">" + htmlEscaped(in.health) + "</div>";
  if (visit.empty()) {
    out += "<div class=\"summary good\" id=\"summary\">All " + std::to_string(rows.size()) + " terminals collected.</div>";
  } else {
    std::string names;
    for (std::size_t k = 0; k < visit.size() && k < 20; ++k) names += (k ? ", " : "") + htmlEscaped(visit[k]);
    if (visit.size() > 20) names += ", &hellip;";
    out += "<div class=\"summary bad\" id=\"summary\">" + std::to_string(visit.size()) + " of " +
           std::to_string(rows.size()) + " terminals need a look: " + names + "</div>";
  }
  out += "<h2 style=\"font-size:1.05em\">Facts per day, " + in.firstDay + " to " + in.lastDay + "</h2>";
  out += dayPlot(in.days, in.firstDay, in.lastDay);
  out += "<table id=\"terminals\"><thead><tr><th>Terminal</th><th>Address</th><th>State</th><th>Last success</th>"
         "<th>Last attempt</th><th>Records in memory</th><th>Failed in a row</th><th>Collector</th></tr></thead><tbody>\n";
  for (const TerminalView& v : rows) out += row(v);
  return out + "</tbody></table></body></html>\n";
}

}  // namespace movar::serve
