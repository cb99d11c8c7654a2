// `movar collect`: many LAN terminals at once, in one round or in rounds until stopped.
#include <atomic>
#include <chrono>
#include <cstdio>

#include "arguments.h"
#include "collect.h"
#include "command.h"
#include "commands.h"
#include "interrupts.h"

namespace movar::cli {

namespace {

// Said the moment the first Ctrl-C comes, since the downloads it waits for may take minutes.
void acknowledgeStop(int running) {
  if (running == 0) {
    std::fprintf(stderr, "movar collect: stopping (no download running)\n");
  } else {
    std::fprintf(stderr, "movar collect: stopping after %d running download%s; Ctrl-C again to stop now\n",
                 running, running == 1 ? "" : "s");
  }
}

class CollectCommand final : public Command {
 public:
  std::vector<Use> uses() const override { return {{"collect", TargetUse::List, StoreUse::Keeps}}; }

  void define(const Definition& d) override {
    app_ = d.app.add_subcommand("collect",
                                "download many LAN terminals at once, each into --dir/<ip>/, a line "
                                "as each finishes, then a summary");
    app_->add_option("--ips", ipsFile_, "a file of terminal addresses, one per line (# comments)")
        ->type_name("FILE")
        ->required();
    app_->add_option("--jobs", jobs_, "downloads at the same time (1-1024)")->type_name("N")->capture_default_str();
    app_->add_option("--every", every_,
                     "collect in rounds this far apart (30s, 10m, 2h) until Ctrl-C or SIGTERM, a line "
                     "per round; a terminal that failed is tried again next round")
        ->type_name("DURATION");
    d.addSharedOptions(*app_, uses());
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    return leaf == app_ ? std::optional(uses().front()) : std::nullopt;
  }

  int run(const CLI::App*, const Common& common) override {
    const int jobCount = checkedNumber("--jobs", jobs_, 1, 1024);
    const int everyMs = every_.empty() ? 0 : checkedDuration("--every", every_);  // 0: one round
    std::vector<collect::Target> targets;
    for (const std::string& ip : readAddresses(ipsFile_)) targets.push_back({collect::Target::Kind::Tcp, 0, 0, ip});
    const auto store = openStoreFor(common, StoreUse::Keeps);
    makeDirectory(common.directory);
    handleInterrupts(InterruptMeaning::FinishThenStop);
    std::atomic<int> running{0};
    const InterruptStop interrupt([&running] { acknowledgeStop(running); });
    collect::RoundOptions options{common.directory, jobCount, store.get(), {}, {}};
    options.started = [&running](const Collected&) { ++running; };
    const bool oneRound = everyMs == 0;
    options.finished = [&running, oneRound, &common](const Collected& c) {
      --running;
      if (oneRound) printCollectedLine(c, common.json);
    };
    int status = 0;
    if (oneRound) {
      printCollectedHeader(common.json);
      const auto start = std::chrono::steady_clock::now();
      const std::vector<Collected> results = collect::collectRound(targets, options, interrupt.token());
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      status = printCollectedTotals(results, seconds, common.json, store != nullptr);
    } else {
      const RoundSaid said{common.json, store != nullptr, std::chrono::milliseconds(everyMs), every_};
      collect::collectEvery(
          targets, options, std::chrono::milliseconds(everyMs),
          [&](int round, const std::vector<Collected>& results, double seconds) {
            status = printRound(round, results, seconds, said);
          },
          interrupt.token());
    }
    return interruptRequested() ? 130 : status;
  }

 private:
  CLI::App* app_ = nullptr;
  std::string ipsFile_, jobs_ = "8", every_;
};

}  // namespace

std::unique_ptr<Command> collectCommand() { return std::make_unique<CollectCommand>(); }

}  // namespace movar::cli
