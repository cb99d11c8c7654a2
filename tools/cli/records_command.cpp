// `movar records`: the facts in the store, in time order.
#include "arguments.h"
#include "command.h"
#include "commands.h"
#include "storing.h"

namespace movar::cli {

namespace {

class RecordsCommand final : public Command {
 public:
  std::vector<Use> uses() const override { return {{"records", TargetUse::None, StoreUse::Reads}}; }

  void define(const Definition& d) override {
    app_ = d.app.add_subcommand("records", "the attendance facts in the --store, in time order");
    app_->add_option("--from", from_, "from this time on: YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"")->type_name("TIME");
    app_->add_option("--to", to_, "up to this time (a date alone: its whole day)")->type_name("TIME");
    app_->add_option("--person", person_, "this person only (0-65535)")->type_name("N");
    app_->add_option("--terminal", terminal_, "this terminal only: its address or COM<n>:<addr>")->type_name("T");
    app_->add_flag("--csv", csv_, "comma-separated values with a header line");
    app_->add_option("--after", after_, "only the facts that arrived after the one numbered N (seq in "
                                        "--csv and --json): what is new since the last read")
        ->type_name("N");
    d.addSharedOptions(*app_, uses());
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    return leaf == app_ ? std::optional(uses().front()) : std::nullopt;
  }

  int run(const CLI::App*, const Common& common) override {
    if (csv_ && common.json) throw UsageError("--csv or --json, not both");
    const store::Query q = checkedQuery({from_, to_, person_, terminal_, after_});
    printFacts(openStoreFor(common, StoreUse::Reads)->query(q),
               csv_ ? FactFormat::Csv : common.json ? FactFormat::JsonLines : FactFormat::Text);
    return 0;
  }

 private:
  CLI::App* app_ = nullptr;
  std::string from_, to_, person_, terminal_, after_;
  bool csv_ = false;
};

}  // namespace

std::unique_ptr<Command> recordsCommand() { return std::make_unique<RecordsCommand>(); }

}  // namespace movar::cli
