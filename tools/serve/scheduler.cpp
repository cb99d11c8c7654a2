#include "serve/scheduler.h"

#include <cstdio>
#include <filesystem>

#include "collect/round.h"
#include "serve/backup_care.h"

namespace movar::serve {

namespace {

using Clock = std::chrono::steady_clock;
// How often an idle collector looks for a due terminal: the most a terminal freed by a lapsed
// lease or a new due time waits beyond it.
constexpr auto kLookAgain = std::chrono::seconds(1);

long long wholeSeconds(std::chrono::milliseconds d) {
  return std::max<long long>(1, std::chrono::duration_cast<std::chrono::seconds>(d).count());
}

TerminalConfig configOf(const store::FleetTerminal& f) {
  TerminalConfig c;
  c.name = f.name;
  c.target = collect::Target::fromStoreName(f.terminal);
  if (f.capacity) c.capacity = static_cast<long>(*f.capacity);
  c.clock = f.clock == "daily" ? ClockCare::Daily : ClockCare::Never;
  return c;
}

}  // namespace

Scheduler::Scheduler(store::Store& store, std::string directory, int jobs, SiteState& state, Collector collector)
    : store_(store), directory_(std::move(directory)), state_(state), collector_(std::move(collector)),
      nextLook_(Clock::now() + std::chrono::hours(24 * 365)) {
  for (int w = 0; w < jobs; ++w) {
    workers_.emplace_back([this](std::stop_token) { work(stop_.get_token()); });
  }
  workers_.emplace_back([this](std::stop_token) { heartbeat(stop_.get_token()); });
}

Scheduler::~Scheduler() { stop(); }

void Scheduler::setTerminals(const std::vector<TerminalConfig>& terminals, bool shared, std::chrono::milliseconds every) {
  std::vector<store::FleetTerminal> rows;
  std::vector<std::string> names;
  for (const TerminalConfig& t : terminals) {
    store::FleetTerminal f;
    f.terminal = t.target.storeName();
    f.name = t.name;
    if (t.capacity) f.capacity = *t.capacity;
    f.clock = t.clock == ClockCare::Daily ? "daily" : "never";
    if (t.target.kind == collect::Target::Kind::Serial) f.host = collector_.host;
    rows.push_back(std::move(f));
    names.push_back(t.target.storeName());
  }
  for (const std::string& taken : store::addTerminals(store_, rows)) {
    std::fprintf(stderr, "movar serve: %s is another host's serial terminal in the fleet: not collected here "
                 "(one store holds one serial terminal of a name; `movar fleet remove %s` if it moved here)\n",
                 taken.c_str(), taken.c_str());
  }
  std::lock_guard lock(mutex_);
  configured_ = terminals;
  only_ = shared ? std::nullopt : std::optional(std::move(names));
  every_ = every;
}

void Scheduler::keepBackups(std::optional<int> days) {
  std::lock_guard lock(mutex_);
  keepDays_ = days;
}

void Scheduler::tick() {
  std::lock_guard lock(mutex_);
  if (stop_.stop_requested()) return;
  state_.ticked();
  if (!roundBegan_) roundBegan_ = Clock::now();  // a round still running absorbs the tick
  nextLook_ = Clock::now();
  dry_ = false;
  wake_.notify_all();
}

void Scheduler::stop() {
  stop_.request_stop();
  wake_.notify_all();
  workers_.clear();  // joins: each finishes the download it runs
}

void Scheduler::work(std::stop_token stop) {
  for (;;) {
    bool scout = false;  // this worker is the one looking while none is due
    {
      std::unique_lock lock(mutex_);
      // Once a claim came back empty, one worker looks at a time: hundreds of idle workers
      // asking the store every second would cost it more than the downloads do.
      const auto mayLook = [&] { return Clock::now() >= nextLook_ && !(dry_ && looking_); };
      if (!wake_.wait_until(lock, stop, nextLook_, mayLook)) {
        if (stop.stop_requested()) return;
        continue;
      }
      scout = looking_ = dry_;
    }
    std::optional<TerminalConfig> terminal;
    try {
      terminal = claim();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "movar serve: cannot claim a terminal: %s\n", e.what());
    }
    {
      std::lock_guard lock(mutex_);
      if (scout) looking_ = false;  // even when a tick ended the dry spell meanwhile
      if (terminal && dry_) {
        dry_ = false;  // terminals are due again: every free worker claims
        wake_.notify_all();
      }
    }
    if (!terminal) {
      noteIdle();
      continue;
    }
    run(*terminal, stop);
    std::lock_guard lock(mutex_);
    --running_;
  }
}

std::optional<TerminalConfig> Scheduler::claim() {
  store::Claim c;
  c.collector = collector_.name;
  c.host = collector_.host;
  c.leaseSeconds = wholeSeconds(collector_.lease);
  {
    std::lock_guard lock(mutex_);
    c.only = only_;
    c.everySeconds = wholeSeconds(every_);
    ++running_;  // before the claim: an idle check meanwhile must not end the round
  }
  std::optional<store::FleetTerminal> got;
  try {
    got = store::claimOne(store_, c);
  } catch (...) {
    std::lock_guard lock(mutex_);
    --running_;
    throw;
  }
  std::lock_guard lock(mutex_);
  if (!got) {
    --running_;
    return std::nullopt;
  }
  for (const TerminalConfig& t : configured_) {
    if (t.target.storeName() == got->terminal) return t;
  }
  return configOf(*got);
}

void Scheduler::noteIdle() {
  std::lock_guard lock(mutex_);
  dry_ = true;
  wake_.notify_all();  // a worker waiting for the look that just ended
  if (nextLook_ <= Clock::now()) nextLook_ = Clock::now() + kLookAgain;
  if (running_ == 0 && roundBegan_) {
    state_.roundEnded(std::chrono::duration<double>(Clock::now() - *roundBegan_).count());
    roundBegan_.reset();
  }
}

void Scheduler::heartbeat(std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any pause;
  const auto every = std::max<std::chrono::milliseconds>(collector_.lease / 4, std::chrono::seconds(1));
  for (;;) {
    {
      std::unique_lock lock(mutex);
      if (pause.wait_for(lock, stop, every, [] { return false; }), stop.stop_requested()) return;
    }
    try {
      store::renewLeases(store_, collector_.name, wholeSeconds(collector_.lease));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "movar serve: cannot renew the leases: %s\n", e.what());
    }
  }
}

void Scheduler::run(const TerminalConfig& terminal, std::stop_token stop) {
  const std::string name = terminal.target.storeName();
  state_.started(name);
  if (terminal.target.kind == collect::Target::Kind::None) {
    std::fprintf(stderr, "movar serve: the fleet's terminal \"%s\" names no address\n", name.c_str());
    state_.finished(name, 0, false, 0);
  } else {
    collect::RoundOptions options{directory_, 1, &store_, {}, {}};
    options.clockDaily = terminal.clock == ClockCare::Daily;
    const std::vector<collect::Outcome> outcomes = collect::collectRound({terminal.target}, options, stop);
    const collect::Outcome& o = outcomes.front();
    const long long added = o.stored ? static_cast<long long>(o.stored->added) : 0;
    if (o.started) {
      state_.finished(name, o.seconds, o.ok(), added);
    } else {
      state_.finished(name, 0, true, 0);  // stopped before it began: neither failure nor success
    }
  }
  try {
    store::releaseLease(store_, name, collector_.name);
  } catch (const std::exception& e) {  // its lease lapses instead
    std::fprintf(stderr, "movar serve: %s: cannot release its lease: %s\n", name.c_str(), e.what());
  }
  std::optional<int> keep;
  {
    std::lock_guard lock(mutex_);
    keep = keepDays_;
  }
  const BackupCare care = tidyBackups((std::filesystem::path(directory_) / name).string(), name, keep, store_);
  if (!care.problem.empty()) std::fprintf(stderr, "movar serve: %s: %s\n", name.c_str(), care.problem.c_str());
}

}  // namespace movar::serve
