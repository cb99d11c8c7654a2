// The capability table's rows as subcommands ("time set", "download numbered", "person enable
// --all"), and realtime's --watch.
#include <map>
#include <sstream>

#include "arguments.h"
#include "capabilities.h"
#include "collect/erase_watch.h"
#include "collect/host_platform.h"
#include "collect/stored_download.h"
#include "command.h"
#include "commands.h"
#include "download/lan_download.h"
#include "encoding.h"
#include "help.h"
#include "interrupts.h"
#include "link/failure.h"
#include "live_watch.h"
#include "progress_line.h"
#include "report.h"
#include "store/ingest.h"
#include "store/origin.h"
#include "storing.h"

namespace movar::cli {

namespace {

using collect::CallActivity;
using collect::EraseWatch;
using collect::Target;

// The rows of one subcommand: its own, and the one its flag selects; the typed positionals.
struct Leaf {
  int plain = -1, flagged = -1;
  bool flag = false;
  std::vector<std::string> numbers;
  std::string text, name;
};

std::vector<std::string> words(const char* path) {
  std::istringstream in(path);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

CLI::App* subcommandAt(CLI::App& app, const char* path, const char* help) {
  CLI::App* at = &app;
  for (const std::string& word : words(path)) {
    CLI::App* next = nullptr;
    for (CLI::App* existing : at->get_subcommands([](CLI::App*) { return true; })) {
      if (existing->get_name() == word) next = existing;
    }
    at = next ? next : at->add_subcommand(word, help);
  }
  return at;
}

Use useOf(const Capability& c, bool watching = false) {
  std::string form = c.path;
  if (c.flag) form += std::string(" ") + c.flag;
  if (watching) form += " --watch";
  return {form, c.local ? TargetUse::None : TargetUse::One,
          c.download || watching ? StoreUse::Keeps : StoreUse::None};
}

// The row's positionals, checked and converted; texts in the terminal's character set.
Arguments checkedArguments(const Capability& c, const Leaf& leaf, const Target& target, const std::string& encoding) {
  Arguments a;
  for (std::size_t k = 0; k < c.numbers.size(); ++k) {
    const Param& p = c.numbers[k];
    a.numbers.push_back(checkedNumber(p.name, leaf.numbers[k], p.min, p.max));
  }
  const auto checkedText = [&](const TextParam& t, const std::string& typed) {
    const std::string text = t.kind == TextKind::TerminalText ? toTerminalText(t.name, typed, encoding)
                             : t.kind == TextKind::Ascii      ? toTerminalText(t.name, typed, "")
                                                              : typed;
    const settings::Command* row = target.kind == Target::Kind::Tcp ? c.lanRow : c.serialRow;
    const std::size_t longest = t.longest > 0 ? t.longest : row ? row->longestText : 0;
    if (longest > 0 && text.size() > longest) {
      throw UsageError(std::string(t.name) + ": " + std::to_string(text.size()) +
                       " bytes; the terminal holds at most " + std::to_string(longest) + " here");
    }
    if (text.size() < t.shortest) throw UsageError(std::string(t.name) + ": empty");
    return text;
  };
  if (c.text) a.text = checkedText(*c.text, leaf.text);
  if (c.name) a.name = checkedText(*c.name, leaf.name);
  return a;
}

void printDownload(const Capability& c, const CallActivity& a, bool ok, const EraseWatch& erase, Json& json,
                   bool asJson) {
  const auto records = static_cast<long long>(a.storedBytes / 6);
  if (asJson) {
    json["records"] = records;
    json["files"] = a.written;
    json["backups"] = a.backups;
    if (c.erases) json["erased"] = erase.outcome() == EraseWatch::Outcome::Erased;
    return;
  }
  if (ok) std::printf("%s: ok, %lld records\n", c.path, records);
  const auto list = [](const char* what, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::printf("  %s:", what);
    for (const std::string& p : paths) std::printf(" %s", p.c_str());
    std::printf("\n");
  };
  list("written", a.written);
  list("backups", a.backups);
}

// A download's records in the store with its row in the collection log, marked as the terminal's
// (an as-machine download with the number its address gives).
collect::StoredDownload storedDownload(store::Store* store, const Capability& c, const Target& target) {
  const std::optional<int> machine =
      c.machineFromAddress ? std::optional<int>(download::machineFromAddressText(target.ip.c_str())) : std::nullopt;
  return collect::StoredDownload(store, target.storeName(), machine);
}

int finish(const Capability& c, const Target& target, collect::HostPlatform& host, std::int32_t value, bool json,
           collect::StoredDownload* storing = nullptr, const EraseWatch& erase = EraseWatch()) {
  host.watch().callReturned();
  const bool answered = c.result == Result::Value  ? value != 65535
                        : c.result == Result::Port ? value > 0
                                                   : value == 0;
  const bool unitAnswered = c.result == Result::UnitCode && value != 255;
  const long records = static_cast<long>(host.watch().activity().storedBytes / 6);
  // A transfer that succeeded and was not followed by its erase is not a success either.
  const std::string kept = answered && c.erases ? collect::notErased(erase, records) : "";
  const bool ok = answered && kept.empty();
  std::string error = kept;
  if (!answered) {
    error = unitAnswered ? "the unit answered " + std::to_string(value)
                         : collect::failureReason(host.watch().lastMessage());
  }
  Json line{{"command", c.path}};
  if (target.kind != Target::Kind::None) line["target"] = target.text();
  line["result"] = value;
  line["ok"] = ok;
  if (!ok) {
    line["error"] = error;
    if (!json && !answered) std::fprintf(stderr, "movar %s: failed (%d): %s\n", c.path, value, error.c_str());
    if (!json && answered) std::fprintf(stderr, "movar %s: %s\n", c.path, error.c_str());
  }
  bool stored = true;
  if (c.download) {
    printDownload(c, host.watch().activity(), ok, erase, line, json);
    if (storing) storing->end(host.watch().activity(), ok, error);
    if (storing && storing->stored()) {
      const bool heldByTheStore = erase.outcome() == EraseWatch::Outcome::Held;
      // The store's reason is in the line above when it is what held the erase.
      if (json || !heldByTheStore) reportStored(*storing->stored(), json ? &line : nullptr);
      stored = storing->stored()->error.empty();
    }
  } else if (json || !ok) {
  } else if (c.result == Result::Port) {
    std::printf("terminal %d found on COM%d\n", target.address, value);
  } else if (c.result == Result::Value) {
    std::printf("%d\n", value);
  } else if (c.result == Result::UnitCode) {
    std::printf("%s: ok (unit result 0)\n", c.path);
  } else {
    std::printf("%s: ok\n", c.path);
  }
  if (json) printJson(line);
  return ok && stored ? 0 : 1;
}

class RowCommands final : public Command {
 public:
  std::vector<Use> uses() const override {
    std::vector<Use> all;
    for (const Capability& c : capabilities()) {
      all.push_back(useOf(c));
      if (c.live) all.push_back(useOf(c, true));
    }
    return all;
  }

  void define(const Definition& d) override {
    const std::vector<Capability>& rows = capabilities();
    std::map<CLI::App*, std::vector<const Capability*>> rowsOf;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Capability& c = rows[i];
      CLI::App* sub = subcommandAt(d.app, c.path, c.help);
      Leaf& leaf = leaves_[sub];
      rowsOf[sub].push_back(&c);
      if (c.note) sub->footer(c.note);
      if (c.flag) {
        leaf.flagged = static_cast<int>(i);
        sub->add_flag(c.flag, leaf.flag, c.help);
        continue;
      }
      leaf.plain = static_cast<int>(i);
      leaf.numbers.resize(c.numbers.size());
      for (std::size_t k = 0; k < c.numbers.size(); ++k) {
        sub->add_option(c.numbers[k].name, leaf.numbers[k], describe(c.numbers[k]))->type_name("NUMBER")->required();
      }
      if (c.text) sub->add_option(c.text->name, leaf.text, describe(*c.text))->required();
      if (c.name) sub->add_option(c.name->name, leaf.name, describe(*c.name))->required();
    }
    for (auto& [sub, leaf] : leaves_) {
      const std::string mark = whereItRuns(rowsOf[sub]);
      if (!mark.empty()) sub->description(sub->get_description() + " " + mark);
      std::vector<Use> uses;
      bool encoding = false;
      for (const Capability* c : rowsOf[sub]) {
        uses.push_back(useOf(*c, c->live != nullptr));
        encoding = encoding || (c->text && c->text->kind == TextKind::TerminalText) ||
                   (c->name && c->name->kind == TextKind::TerminalText);
      }
      d.addSharedOptions(*sub, uses, encoding);
      if (leaf.flagged < 0 || leaf.plain < 0) continue;
      // With the flag the row's own arguments are not wanted.
      for (CLI::Option* option : sub->get_options()) {
        if (option->get_positional()) option->required(false);
      }
    }

    watchable_ = subcommandAt(d.app, "realtime", "");
    watchable_->add_flag("--watch", watch_.on, "poll until Ctrl-C (ends after the current poll), each record printed once");
    watchable_->add_option("--interval", interval_, "--watch: milliseconds between empty polls (1-3600000)")
        ->type_name("MS")
        ->capture_default_str();
    watchable_->add_option("--count", count_, "--watch: stop after this many records")->type_name("N");
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    const auto found = leaves_.find(const_cast<CLI::App*>(leaf));
    if (found == leaves_.end()) return std::nullopt;
    const int index = found->second.flag ? found->second.flagged : found->second.plain;
    // Without its arguments or its flag the leaf runs nothing (run() says so): its flag's needs.
    const int row = index >= 0 ? index : found->second.flagged;
    return useOf(capabilities()[static_cast<std::size_t>(row)], leaf == watchable_ && watch_.on);
  }

  int run(const CLI::App* leafApp, const Common& common) override {
    const std::vector<Capability>& rows = capabilities();
    const Leaf& leaf = leaves_.at(const_cast<CLI::App*>(leafApp));
    const int index = leaf.flag ? leaf.flagged : leaf.plain;
    if (index < 0) throw UsageError("needs its arguments");
    const Capability& c = rows[static_cast<std::size_t>(index)];
    if (!leaf.flag && leaf.flagged >= 0) {
      const Capability& plain = rows[static_cast<std::size_t>(leaf.plain)];
      if (!plain.numbers.empty() && leafApp->count(plain.numbers[0].name) == 0) {
        throw UsageError(std::string("give ") + plain.numbers[0].name + " or " +
                         rows[static_cast<std::size_t>(leaf.flagged)].flag);
      }
    }
    if (!common.encoding.empty() && !isKnownCharset(common.encoding)) {
      throw UsageError("--encoding " + common.encoding + ": not a character set iconv knows");
    }
    const Target target = checkedTarget(common);
    if (target.kind == Target::Kind::Tcp && !c.live && !c.lanRow && !c.lan) {
      throw UsageError("not over TCP; use --com or --device");
    }
    if (target.kind == Target::Kind::Serial && !c.live && !c.serialRow && !c.serial) {
      throw UsageError("not on a serial line; use --ip");
    }
    const Arguments a = checkedArguments(c, leaf, target, common.encoding);
    Watch w = watch_;
    if (c.live) {
      w.intervalMs = checkedNumber("--interval", interval_, 1, 3'600'000);
      w.count = count_.empty() ? 0 : checkedNumber("--count", count_, 1, 2'147'483'647);
    }

    // From here on files, ports and sockets are touched; a store that cannot be written stops
    // the command before the terminal is.
    const auto store = openStoreFor(common, useOf(c, w.on && c.live).store);
    makeDirectory(common.directory);
    ProgressLine progress;
    collect::HostPlatform host(common.directory, common.json ? nullptr : &progress);
    Platform& platform = host.platform();
    if (c.local) {
      clearFailure();
      return finish(c, {}, host, c.local(platform, a), common.json);
    }
    if (c.live) {
      if (w.on) handleInterrupts(InterruptMeaning::FinishThenStop);
      return watchLive(c, target, host, w, common.json, store.get());
    }
    collect::StoredDownload storing = storedDownload(store.get(), c, target);
    // The records go into the store before the terminal lets them go.
    EraseWatch erase(store ? EraseWatch::Keep([&] {
      return storing.keep(host.watch().activity());
    })
                           : EraseWatch::Keep());
    if (c.download) {
      // Before the terminal is touched, so no record leaves it without its origin on the disk.
      store::noteOrigin(common.directory, target.storeName());
      host.holdErase(&erase);
    }
    clearFailure();
    const std::int32_t value = target.kind == Target::Kind::Tcp ? runLan(c, platform, target.ip.c_str(), a)
                                                                : runSerial(c, platform, target.address, target.port, a);
    return finish(c, target, host, value, common.json, &storing, erase);
  }

 private:
  std::map<CLI::App*, Leaf> leaves_;
  CLI::App* watchable_ = nullptr;
  Watch watch_;
  std::string interval_ = "1000", count_;
};

}  // namespace

std::unique_ptr<Command> rowCommands() { return std::make_unique<RowCommands>(); }

}  // namespace movar::cli
