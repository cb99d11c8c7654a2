// The status page, drawn whole on the server: HTML with inline CSS and SVG, nothing fetched and
// no script, so that it shows in any browser and on any kiosk. The terminals that need a visit
// come first and in colour; the page refreshes itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serve/view.h"
#include "store/store.h"

namespace movar::serve {

struct PageInput {
  std::vector<TerminalView> terminals;  // the rows (one alone on a terminal's own page)
  std::vector<store::DayCount> days;    // facts per day and terminal, the last 30 days
  std::string firstDay, lastDay;        // the plot's window, "YYYY-MM-DD"
  std::string health;                   // empty when all is well, else why not
  int refreshSeconds = 30;
  std::optional<std::string> terminal;  // a terminal's own page: its name
};

std::string statusPage(const PageInput& input);

// The SVG plot alone: a bar for every day holding facts.
std::string dayPlot(const std::vector<store::DayCount>& days, const std::string& firstDay, const std::string& lastDay);

std::string htmlEscaped(const std::string& text);

}  // namespace movar::serve
