// movar: the library's capabilities from a shell. Every argument is checked before any port,
// socket or file is touched; see kFooter (help.cpp) for targets, numbers, texts, Ctrl-C and the
// exit statuses. The commands are the table in commands.cpp.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>

#include "command.h"
#include "exports/movar.h"
#include "failure_words.h"
#include "help.h"
#include "interrupts.h"
#include "process_limits.h"

namespace movar::cli {
namespace {

constexpr int kUsage = 2;

CLI::App* selectedLeaf(CLI::App& app) {
  CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  return at;
}

// The first word that names no command where a command was wanted ("frobnicate", "store
// frobnicate"), skipping options and their values.
std::optional<std::string> unknownCommand(CLI::App& app, int argc, char** argv) {
  CLI::App* at = &app;
  std::string path;
  for (int k = 1; k < argc; ++k) {
    const std::string word = argv[k];
    if (word.starts_with("-")) {
      const CLI::Option* option = nullptr;
      for (CLI::App* level = at; level && !option; level = level->get_parent()) {
        option = level->get_option_no_throw(word.substr(0, word.find('=')));
      }
      if (option && option->get_expected_min() > 0 && word.find('=') == std::string::npos) ++k;
      continue;
    }
    const std::vector<CLI::App*> below = at->get_subcommands([](CLI::App*) { return true; });
    CLI::App* next = nullptr;
    for (CLI::App* sub : below) {
      if (sub->check_name(word)) next = sub;
    }
    if (!next) {
      const bool wantsCommand =
          !below.empty() && at->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty();
      return wantsCommand ? std::optional(path + word) : std::nullopt;
    }
    at = next;
    path += word + " ";
  }
  return std::nullopt;
}

int run(int argc, char** argv) {
  handleInterrupts(InterruptMeaning::EndAtOnce);
  ignoreBrokenPipes();
  raiseDescriptorLimit();
  CLI::App app{"movar: download, configure and watch time-attendance terminals"};
  app.fallthrough();
  app.require_subcommand(1);
  app.set_version_flag("--version", "movar " MOVAR_VERSION " (the library's version; the command "
                                   "line is built with it)");
  const std::vector<std::unique_ptr<Command>> table = commands();
  std::vector<Use> uses;
  for (const auto& command : table) {
    for (Use& use : command->uses()) uses.push_back(std::move(use));
  }
  Common common;
  const std::string storeUsers = storeUsersOf(uses);
  addTargetOptions(app, common);
  addDirectoryOption(app, common);
  addEncodingOption(app, common);
  addJsonOption(app, common);
  addStoreOption(app, common, storeUsers);
  const Definition definition{app, common, storeUsers};
  for (const auto& command : table) command->define(definition);
  describeGroups(app);
  app.footer(kFooter);  // after the subcommands, which would take it as their own

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() != 0) {
      if (const std::optional<std::string> unknown = unknownCommand(app, argc, argv)) {
        std::fprintf(stderr, "movar: unknown command %s (movar --help lists them)\n", unknown->c_str());
        return kUsage;
      }
    }
    return app.exit(e) == 0 ? 0 : kUsage;
  }

  CLI::App* leaf = selectedLeaf(app);
  std::string name = leaf->get_name();
  try {
    for (const auto& command : table) {
      if (const std::optional<Use> use = command->typed(leaf)) {
        name = use->name();
        checkShared(*use, common, storeUsers);
        return command->run(leaf, common);
      }
    }
    std::fprintf(stderr, "%s", leaf->help().c_str());  // a group alone: its commands
    return kUsage;
  } catch (const std::exception& e) {  // a refused argument, a local step, or a library's fault
    const Said said = inWords(e, common);
    std::fprintf(stderr, "movar %s: %s\n", name.c_str(), said.words.c_str());
    return said.exitStatus;
  }
}

}  // namespace
}  // namespace movar::cli

int main(int argc, char** argv) { return movar::cli::run(argc, argv); }
