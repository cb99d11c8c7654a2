// `movar serve --config FILE`: the site service (tools/serve). Its store, folder and terminals
// come from the file, so it takes none of the shared options.
#include "command.h"
#include "commands.h"
#include "serve/service.h"

namespace movar::cli {

namespace {

class ServeCommand final : public Command {
 public:
  std::vector<Use> uses() const override { return {{"serve", TargetUse::None, StoreUse::None}}; }

  void define(const Definition& d) override {
    app_ = d.app.add_subcommand("serve", "collect a site on a schedule and answer HTTP: status page, API, "
                                         "metrics (SIGHUP reads the file again)");
    app_->add_option("--config", config_, "the site's TOML file (tools/serve/site.toml is an example)")
        ->type_name("FILE")
        ->required();
    d.addSharedOptions(*app_, uses());
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    return leaf == app_ ? std::optional(uses().front()) : std::nullopt;
  }

  int run(const CLI::App*, const Common&) override { return serve::serveSite(config_); }

 private:
  CLI::App* app_ = nullptr;
  std::string config_;
};

}  // namespace

std::unique_ptr<Command> serveCommand() { return std::make_unique<ServeCommand>(); }

}  // namespace movar::cli
