// A command of the command line: what it needs (a terminal, a store), its subcommands and
// options, and its run. The table of them is commands.cpp; a new command is a file with one
// Command and a line there.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common_options.h"

namespace movar::cli {

// One form of a command as the user types it, and what it needs.
struct Use {
  std::string form;  // "store import", "realtime --watch"
  TargetUse target = TargetUse::None;
  StoreUse store = StoreUse::None;
  // The command's name in messages: the form without its flags ("realtime").
  std::string name() const { return form.substr(0, form.find(" --")); }
};

// What a command is given to define itself: the root, the shared options, and the texts the
// whole table gives.
struct Definition {
  CLI::App& app;
  Common& common;
  std::string storeUsers;  // "download, collect, ...": the forms that take --store

  // The shared options `uses` take, on `leaf`, so that its help lists them; "[no terminal]" in
  // its description when none of them talks to a terminal.
  void addSharedOptions(CLI::App& leaf, const std::vector<Use>& uses, bool encoding = false) const;
};

class Command {
 public:
  virtual ~Command() = default;
  // Every form it has, for the texts derived from the table.
  virtual std::vector<Use> uses() const = 0;
  virtual void define(const Definition& definition) = 0;
  // The form typed, when `leaf` (the subcommand parsed) is one of this command's.
  virtual std::optional<Use> typed(const CLI::App* leaf) const = 0;
  // The shared options are checked against the form's needs before this runs.
  virtual int run(const CLI::App* leaf, const Common& common) = 0;
};

// The table, in the order the help lists them.
std::vector<std::unique_ptr<Command>> commands();

// The shared options against what `use` needs (a store given where none is taken, a target
// where the terminals come from elsewhere...): a UsageError that says what goes where.
void checkShared(const Use& use, const Common& common, const std::string& storeUsers);

// "a, b and c" of the forms that take --store.
std::string storeUsersOf(const std::vector<Use>& uses);

}  // namespace movar::cli
