// The site in the Prometheus text format (version 0.0.4), one family after another.
#pragma once

#include <string>
#include <vector>

#include "serve/view.h"

namespace movar::serve {

std::string metricsText(const std::vector<TerminalView>& terminals, const SiteSnapshot& site);

}  // namespace movar::serve
