#include "serve/scheduler.h"

#include <cstdio>
#include <filesystem>

#include "collect/round.h"
#include "serve/backup_care.h"

namespace movar::serve {

Scheduler::Scheduler(store::Store& store, std::string directory, int jobs, SiteState& state)
    : store_(store), directory_(std::move(directory)), state_(state) {
  for (int w = 0; w < jobs; ++w) {
    workers_.emplace_back([this](std::stop_token) { work(stop_.get_token()); });
  }
}

Scheduler::~Scheduler() { stop(); }

void Scheduler::setTerminals(std::vector<TerminalConfig> terminals) {
  std::lock_guard lock(mutex_);
  terminals_ = std::move(terminals);
}

void Scheduler::keepBackups(std::optional<int> days) {
  std::lock_guard lock(mutex_);
  keepDays_ = days;
}

void Scheduler::tick() {
  std::lock_guard lock(mutex_);
  if (stop_.stop_requested()) return;
  auto round = std::make_shared<Round>();
  round->began = std::chrono::steady_clock::now();
  for (const TerminalConfig& t : terminals_) {
    if (!busy_.insert(t.target.storeName()).second) continue;
    ++round->left;
    queue_.push_back({t, round});
  }
  state_.ticked();
  if (round->left == 0) state_.roundEnded(0);
  wake_.notify_all();
}

void Scheduler::stop() {
  stop_.request_stop();
  wake_.notify_all();
  workers_.clear();  // joins: each finishes the download it runs
}

void Scheduler::work(std::stop_token stop) {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [&] { return !queue_.empty(); })) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    run(job, stop);
  }
}

void Scheduler::run(const Job& job, std::stop_token stop) {
  const std::string name = job.terminal.target.storeName();
  state_.started(name);
  collect::RoundOptions options{directory_, 1, &store_, {}, {}};
  options.clockDaily = job.terminal.clock == ClockCare::Daily;
  const std::vector<collect::Outcome> outcomes = collect::collectRound({job.terminal.target}, options, stop);
  const collect::Outcome& o = outcomes.front();
  const long long added = o.stored ? static_cast<long long>(o.stored->added) : 0;
  if (o.started) {
    state_.finished(name, o.seconds, o.ok(), added);
  } else {
    state_.finished(name, 0, true, 0);  // stopped before it began: neither failure nor success
  }
  std::optional<int> keep;
  {
    std::lock_guard lock(mutex_);
    keep = keepDays_;
  }
  const BackupCare care = tidyBackups((std::filesystem::path(directory_) / name).string(), name, keep, store_);
  if (!care.problem.empty()) std::fprintf(stderr, "movar serve: %s: %s\n", name.c_str(), care.problem.c_str());
  std::lock_guard lock(mutex_);
  busy_.erase(name);
  if (--job.round->left == 0) {
    state_.roundEnded(std::chrono::duration<double>(std::chrono::steady_clock::now() - job.round->began).count());
  }
}

}  // namespace movar::serve
