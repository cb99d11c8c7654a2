#include "status.h"

#include <cstdio>
#include <optional>
#include <string>

#include "report.h"

namespace movar::cli {

namespace {

std::string isoUtc(std::string text) {
  if (text.size() == 19) text = text.substr(0, 10) + "T" + text.substr(11) + "Z";
  return text;
}

std::string spanText(std::chrono::seconds span) {
  const long long s = span.count();
  if (s % 3600 == 0) return std::to_string(s / 3600) + "h";
  if (s % 60 == 0) return std::to_string(s / 60) + "m";
  return std::to_string(s) + "s";
}

}  // namespace

int printStatus(const std::vector<store::TerminalStatus>& terminals, bool json, std::chrono::seconds stale,
                std::time_t now) {
  if (terminals.empty() && !json) std::printf("no terminal in the collection log yet\n");
  bool allWell = true;
  for (const store::TerminalStatus& t : terminals) {
    const store::Attempt& last = t.last;
    const bool succeeded = last.result == store::Attempt::Result::Ok;
    // A success whose time cannot be read is taken as too old: said rather than trusted.
    const std::optional<std::int64_t> success = t.lastSuccess ? store::utcSeconds(*t.lastSuccess) : std::nullopt;
    const bool isStale = !success || now - *success > stale.count();
    allWell = allWell && succeeded && !isStale;
    if (json) {
      Json line{{"terminal", t.terminal},
                {"result", store::resultText(last.result)},
                {"started", isoUtc(last.started)},
                {"finished", isoUtc(last.finished)},
                {"reason", last.reason},
                {"last_success", t.lastSuccess ? Json(isoUtc(*t.lastSuccess)) : Json(nullptr)},
                {"records_at_last_success",
                 t.recordsAtLastSuccess ? Json(*t.recordsAtLastSuccess) : Json(nullptr)},
                {"failed_in_a_row", t.failedInARow},
                {"stale", isStale}};
      printJson(line);
      continue;
    }
    std::string text = t.terminal + ": " + store::resultText(last.result) + " at " + last.finished + " UTC";
    if (!last.reason.empty()) text += " (" + last.reason + ")";
    text += ", last success " + (t.lastSuccess ? *t.lastSuccess + " UTC" : std::string("never"));
    if (t.recordsAtLastSuccess) text += " (" + std::to_string(*t.recordsAtLastSuccess) + " records)";
    text += ", " + std::to_string(t.failedInARow) + " failed in a row";
    if (isStale && t.lastSuccess) text += ", stale: no success within " + spanText(stale);
    std::printf("%s\n", text.c_str());
  }
  return allWell ? 0 : 1;
}

}  // namespace movar::cli
