// `movar store import` and `movar store init`.
#include <optional>

#include "arguments.h"
#include "command.h"
#include "commands.h"
#include "storing.h"
#include "store/import.h"
#include "store/location.h"

namespace movar::cli {

namespace {

class StoreCommand final : public Command {
 public:
  std::vector<Use> uses() const override {
    return {{"store import", TargetUse::None, StoreUse::Writes}, {"store init", TargetUse::None, StoreUse::Writes}};
  }

  void define(const Definition& d) override {
    CLI::App* group = d.app.add_subcommand("store", "");
    group->require_subcommand(1);
    import_ = group->add_subcommand(
        "import", "record files (movar*.dat, downbak/*.dat, or folders searched for them) into the "
                  "--store; importing them again adds nothing");
    import_->add_option("path", paths_, "record files and folders")->type_name("PATH")->required();
    import_->add_option("--terminal", terminal_,
                        "the terminal the records came from, where their folder does not say (a "
                        "download notes it in movar-terminal.txt; collect names folders by address)")
        ->type_name("T");
    d.addSharedOptions(*import_, {uses()[0]});
    init_ = group->add_subcommand("init", "make the --store and its schema");
    d.addSharedOptions(*init_, {uses()[1]});
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    if (leaf == import_) return uses()[0];
    if (leaf == init_) return uses()[1];
    return std::nullopt;
  }

  int run(const CLI::App* leaf, const Common& common) override {
    if (leaf == init_) {
      openStoreFor(common, StoreUse::Writes);
      if (!common.json) std::printf("store: %s ready\n", store::withoutPassword(common.store, common.store).c_str());
      return 0;
    }
    std::vector<store::FoundFile> files;
    try {
      files = store::recordFilesOf(paths_);
    } catch (const store::StoreError& e) {
      throw UsageError(e.what());
    }
    const auto s = openStoreFor(common, StoreUse::Writes);
    const auto terminal = terminal_.empty() ? std::nullopt : std::optional<std::string>(terminal_);
    return printImported(store::importFiles(*s, files, terminal), common.json);
  }

 private:
  CLI::App* import_ = nullptr;
  CLI::App* init_ = nullptr;
  std::vector<std::string> paths_;
  std::string terminal_;
};

}  // namespace

std::unique_ptr<Command> storeCommand() { return std::make_unique<StoreCommand>(); }

}  // namespace movar::cli
