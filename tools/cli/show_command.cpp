// `movar show FILE...`.
#include "command.h"
#include "arguments.h"
#include "commands.h"
#include "show.h"

namespace movar::cli {

namespace {

class ShowCommand final : public Command {
 public:
  std::vector<Use> uses() const override { return {{"show"}}; }

  void define(const Definition& d) override {
    app_ = d.app.add_subcommand("show", "decode record files (or --transactions) into lines");
    app_->add_option("file", paths_, "record files (movar.dat, movar<n>.dat, backups)")
        ->type_name("FILE")
        ->required();
    app_->add_flag("--transactions", transactions_, "the files hold 17-byte transaction records");
    app_->add_flag("--csv", csv_, "comma-separated values with a header line");
    d.addSharedOptions(*app_, uses());
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    return leaf == app_ ? std::optional(uses().front()) : std::nullopt;
  }

  int run(const CLI::App*, const Common& common) override {
    if (csv_ && common.json) throw UsageError("--csv or --json, not both");
    return showFiles(paths_, transactions_,
                     csv_ ? ShowFormat::Csv : common.json ? ShowFormat::JsonLines : ShowFormat::Text);
  }

 private:
  CLI::App* app_ = nullptr;
  std::vector<std::string> paths_;
  bool transactions_ = false, csv_ = false;
};

}  // namespace

std::unique_ptr<Command> showCommand() { return std::make_unique<ShowCommand>(); }

}  // namespace movar::cli
