// The help's words beyond each row's own: what a group holds, where a command runs, and the
// footer that says how targets, numbers, texts, Ctrl-C and exit statuses work.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "capabilities.h"

namespace movar::cli {

// "[serial only]", "[TCP only]" or "" for the rows of one subcommand ("[no terminal]" is the
// command table's: Definition::addSharedOptions).
std::string whereItRuns(const std::vector<const Capability*>& rows);

// Each group's line names its subcommands (and is marked when all of them run on one link).
void describeGroups(CLI::App& app);

// A positional's description: its meaning and the values it takes.
std::string describe(const Param& param);
std::string describe(const TextParam& text);

extern const char* const kFooter;

}  // namespace movar::cli
