// `movar serve --config FILE`: the site service (tools/serve).
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace movar::cli {

struct ServeCommand {
  CLI::App* app = nullptr;
  std::string config;
};

ServeCommand addServe(CLI::App& app);
int runServe(const ServeCommand& command);

}  // namespace movar::cli
