// `movar status`: how each terminal's collection stands, from the store's collection log.
#include <ctime>

#include "arguments.h"
#include "command.h"
#include "commands.h"
#include "status.h"

namespace movar::cli {

namespace {

class StatusCommand final : public Command {
 public:
  std::vector<Use> uses() const override { return {{"status", TargetUse::None, StoreUse::Reads}}; }

  void define(const Definition& d) override {
    app_ = d.app.add_subcommand("status", "each terminal's last collection attempt and last success from the "
                                          "--store's log, times in UTC; exit 1 when one failed or is --stale");
    app_->add_option("--stale", stale_, "a last success older than this counts as a failure (30m, 2h)")
        ->type_name("DURATION")
        ->capture_default_str();
    d.addSharedOptions(*app_, uses());
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    return leaf == app_ ? std::optional(uses().front()) : std::nullopt;
  }

  int run(const CLI::App*, const Common& common) override {
    const std::chrono::seconds staleFor(checkedDuration("--stale", stale_) / 1000);
    return printStatus(openStoreFor(common, StoreUse::Reads)->terminals(), common.json, staleFor,
                       std::time(nullptr));
  }

 private:
  CLI::App* app_ = nullptr;
  std::string stale_ = "24h";
};

}  // namespace

std::unique_ptr<Command> statusCommand() { return std::make_unique<StatusCommand>(); }

}  // namespace movar::cli
