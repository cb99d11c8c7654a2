// movar: the library's capabilities from a shell. Every argument is checked before any port,
// socket or file is touched; see kFooter (help.cpp) for targets, numbers, texts, Ctrl-C and the
// exit statuses.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "arguments.h"
#include "capabilities.h"
#include "collect/host_platform.h"
#include "collect/stored_download.h"
#include "collect.h"
#include "encoding.h"
#include "help.h"
#include "interrupts.h"
#include "link/failure.h"
#include "exports/movar.h"
#include "report.h"
#include "serve.h"
#include "show.h"
#include "download/lan_download.h"
#include "collect/erase_watch.h"
#include "process_limits.h"
#include "progress_line.h"
#include "store/location.h"
#include "store/origin.h"
#include "store/calendar.h"
#include "storing.h"

namespace movar::cli {
namespace {

using collect::EraseWatch;
using collect::failureReason;
using collect::notErased;
using collect::CallActivity;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

// The rows of one subcommand: its own, and the one its flag selects; the typed positionals.
struct Leaf {
  int plain = -1, flagged = -1;
  bool flag = false;
  std::vector<std::string> numbers;
  std::string text, name;
};

// What the user typed, unchecked.
struct Typed {
  std::string com, address, ip, device, encoding, store;
  std::string directory = ".";
  bool json = false;
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

CLI::App* selectedLeaf(CLI::App& app) {
  CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  return at;
}

// The target, checked; Kind::None when none was given.
Target checkedTarget(const Typed& t) {
  const int given = !t.ip.empty() + (!t.com.empty() || !t.device.empty());
  if (given > 1) throw UsageError("one target only: --ip, or --com/--device (with --addr)");
  if (!t.ip.empty()) {
    if (!t.address.empty()) throw UsageError("--addr: serial only; a TCP terminal is named by --ip");
    if (!isIpv4Address(t.ip)) {
      throw UsageError("--ip: \"" + t.ip + "\" is not an IPv4 address (four decimal fields 0-255, "
                       "no leading zeros, nothing else)");
    }
    return {Target::Kind::Tcp, 0, 0, t.ip};
  }
  const std::int32_t address = t.address.empty() ? 1 : checkedNumber("--addr", t.address, 0, 255);
  if (t.com.empty() && t.device.empty()) {
    if (!t.address.empty()) throw UsageError("--addr: give --com N or --device PATH too");
    return {};
  }
  const std::int32_t port = t.com.empty() ? 1 : checkedNumber("--com", t.com, 1, 9);
  if (!t.device.empty()) {
    ::setenv(("MOVAR_COM" + std::to_string(port)).c_str(), t.device.c_str(), 1);
  }
  return {Target::Kind::Serial, address, port, ""};
}

// The row's positionals, checked and converted; texts in the terminal's character set.
Arguments checkedArguments(const Capability& c, const Leaf& leaf, const Target& target,
                           const std::string& encoding) {
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

void makeDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) throw std::runtime_error("cannot make the directory " + directory + ": " + error.message());
}

void printDownload(const Capability& c, const CallActivity& a, bool ok, const EraseWatch& erase,
                   Json& json, bool asJson) {
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
      c.machineFromAddress ? std::optional<int>(download::machineFromAddressText(target.ip.c_str()))
                           : std::nullopt;
  return collect::StoredDownload(store, target.storeName(), machine);
}

int finish(const Capability& c, const Target& target, collect::HostPlatform& cli, std::int32_t value,
           bool json, collect::StoredDownload* storing = nullptr, const EraseWatch& erase = EraseWatch()) {
  cli.watch().callReturned();
  const bool answered = c.result == Result::Value  ? value != 65535
                        : c.result == Result::Port ? value > 0
                                                   : value == 0;
  const bool unitAnswered = c.result == Result::UnitCode && value != 255;
  const long records = static_cast<long>(cli.watch().activity().storedBytes / 6);
  // A transfer that succeeded and was not followed by its erase is not a success either.
  const std::string kept = answered && c.erases ? notErased(erase, records) : "";
  const bool ok = answered && kept.empty();
  std::string error = kept;
  if (!answered) {
    error = unitAnswered ? "the unit answered " + std::to_string(value)
                         : failureReason(cli.watch().lastMessage());
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
    printDownload(c, cli.watch().activity(), ok, erase, line, json);
    if (storing) storing->end(cli.watch().activity(), ok, error);
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
  return ok && stored ? 0 : kFailure;
}

struct Watch {
  bool on = false;
  int intervalMs = 1'000;
  int count = 0;  // 0: until interrupted
};

void pauseUnlessInterrupted(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!interruptRequested() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Twenty zeros are "no record" only when the library recorded no failure for the poll. A record
// is stored before it is printed; once standard output is gone the watch ends, never taking a
// record from the terminal that nothing keeps.
int live(const Capability& c, const Target& target, collect::HostPlatform& cli, const Watch& w, bool json,
         store::Store* store) {
  const char* ip = target.kind == Target::Kind::Tcp ? target.ip.c_str() : nullptr;
  std::string last;
  bool reachable = true;
  for (int shown = 0; w.count <= 0 || shown < w.count;) {
    // Without a store, standard output is the only keeper: none, no poll.
    if (w.on && !store && standardOutputClosed()) return 0;
    clearFailure();
    const std::string digits = c.live(cli.platform(), target.address, target.port, ip);
    LiveFields fields;
    const bool record = decodeLiveRecord(digits, fields);
    const bool failed = !record && lastFailureKind() != FailureKind::None;
    if (record && digits != last) {
      bool stored = false;
      if (store) {
        const Stored s = store::storeLive(
            *store, {target.storeName(), static_cast<int>(fields.person),
                     store::minuteText(fields.year, fields.month, fields.day, fields.hour, fields.minute),
                     static_cast<int>(fields.machine)});
        if (!s.error.empty()) reportStored(s, nullptr);
        stored = s.error.empty();
      }
      if (!printLiveRecord(digits, fields, json)) {
        std::fprintf(stderr, "movar realtime: standard output is closed; the watch ends after record %s (%s)\n",
                     digits.c_str(), stored ? "in the store" : "not stored: this line is its only copy");
        return stored ? 0 : kFailure;
      }
      ++shown;
    }
    if (record) last = digits;
    if (!w.on) {
      if (failed) {
        std::fprintf(stderr, "movar realtime: failed: %s\n", failureReason(cli.watch().lastMessage()).c_str());
        return kFailure;
      }
      if (!record && !json) std::printf("no record waiting\n");
      if (!record && json) printJson({{"record", digits}});
      return 0;
    }
    if (failed == reachable) {  // one line when the terminal goes, one when it is back
      reachable = !failed;
      if (failed) {
        std::fprintf(stderr, "movar realtime: %s cannot be reached: %s (polling on)\n",
                     target.text().c_str(), failureReason(cli.watch().lastMessage()).c_str());
      } else {
        std::fprintf(stderr, "movar realtime: %s answers again\n", target.text().c_str());
      }
    }
    if (interruptRequested()) return 0;
    if (!record) pauseUnlessInterrupted(w.intervalMs);
    if (interruptRequested()) return 0;
  }
  return 0;
}

int run(int argc, char** argv) {
  handleInterrupts(InterruptMeaning::EndAtOnce);
  ignoreBrokenPipes();
  raiseDescriptorLimit();
  CLI::App app{"movar: download, configure and watch time-attendance terminals"};
  app.fallthrough();
  app.require_subcommand(1);
  app.set_version_flag("--version", "movar " MOVAR_VERSION " (the library's version; the command "
                                   "line is built with it)");
  Typed typed;
  app.add_option("--com", typed.com, "serial: the COM port at which the search starts (1-9)")
      ->type_name("N");
  app.add_option("--addr", typed.address, "serial: the terminal's machine address (0-255, default 1)")
      ->type_name("A");
  app.add_option("--device", typed.device,
                 "serial: a device path for the search's first port (as MOVAR_COM<n> would)")
      ->type_name("PATH");
  app.add_option("--ip", typed.ip, "TCP: the terminal's IPv4 address (port 1024)")
      ->type_name("A.B.C.D");
  app.add_option("--dir", typed.directory, "where record files and backups go (made when missing)")
      ->type_name("DIR")
      ->capture_default_str();
  app.add_option("--encoding", typed.encoding,
                 "the terminal's character set for names and voice texts (iconv name, or raw)")
      ->type_name("CHARSET");
  app.add_flag("--json", typed.json, "one JSON object per result or record");
  app.add_option("--store", typed.store,
                 "the record store: a SQLite file (made when missing) where download, collect, "
                 "modem download and realtime --watch keep every record once, and records and "
                 "store read")
      ->type_name("FILE");

  const std::vector<Capability>& rows = capabilities();
  std::map<CLI::App*, Leaf> leaves;
  std::map<CLI::App*, std::vector<const Capability*>> rowsOf;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Capability& c = rows[i];
    CLI::App* sub = subcommandAt(app, c.path, c.help);
    Leaf& leaf = leaves[sub];
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
      sub->add_option(c.numbers[k].name, leaf.numbers[k], describe(c.numbers[k]))
          ->type_name("NUMBER")
          ->required();
    }
    if (c.text) sub->add_option(c.text->name, leaf.text, describe(*c.text))->required();
    if (c.name) sub->add_option(c.name->name, leaf.name, describe(*c.name))->required();
  }
  for (auto& [sub, leaf] : leaves) {
    const std::string mark = whereItRuns(rowsOf[sub]);
    if (!mark.empty()) sub->description(sub->get_description() + " " + mark);
    if (leaf.flagged < 0 || leaf.plain < 0) continue;
    // With the flag the row's own arguments are not wanted.
    for (CLI::Option* option : sub->get_options()) {
      if (option->get_positional()) option->required(false);
    }
  }

  CLI::App* watchable = subcommandAt(app, "realtime", "");
  Watch watch;
  std::string interval = "1000", count;
  watchable->add_flag("--watch", watch.on, "poll until Ctrl-C (ends after the current poll), each "
                                           "record printed once");
  watchable->add_option("--interval", interval, "--watch: milliseconds between empty polls (1-3600000)")
      ->type_name("MS")
      ->capture_default_str();
  watchable->add_option("--count", count, "--watch: stop after this many records")->type_name("N");

  CLI::App* show = app.add_subcommand("show", "decode record files (or --transactions) into lines "
                                              "[no terminal]");
  std::vector<std::string> showPaths;
  bool transactions = false, csv = false;
  show->add_option("file", showPaths, "record files (movar.dat, movar<n>.dat, backups)")
      ->type_name("FILE")
      ->required();
  show->add_flag("--transactions", transactions, "the files hold 17-byte transaction records");
  show->add_flag("--csv", csv, "comma-separated values with a header line");

  CLI::App* recordsApp = app.add_subcommand(
      "records", "the attendance facts in the --store, in time order [no terminal]");
  std::string from, to, person, terminal;
  recordsApp->add_option("--from", from, "from this time on: YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"")
      ->type_name("TIME");
  recordsApp->add_option("--to", to, "up to this time (a date alone: its whole day)")->type_name("TIME");
  recordsApp->add_option("--person", person, "this person only (0-65535)")->type_name("N");
  recordsApp->add_option("--terminal", terminal, "this terminal only: its address or COM<n>:<addr>")
      ->type_name("T");
  bool recordsCsv = false;
  recordsApp->add_flag("--csv", recordsCsv, "comma-separated values with a header line");

  CLI::App* storeApp = app.add_subcommand(
      "store", "the record store: import record files, make the schema (import, init) [no terminal]");
  CLI::App* importApp = storeApp->add_subcommand(
      "import", "record files (movar*.dat, downbak/*.dat, or folders searched for them) into the "
                "--store; importing them again adds nothing");
  std::vector<std::string> importPaths;
  std::string importTerminal;
  importApp->add_option("path", importPaths, "record files and folders")->type_name("PATH")->required();
  importApp->add_option("--terminal", importTerminal,
                        "the terminal the records came from, where their folder does not say (a "
                        "download notes it in movar-terminal.txt; collect names folders by address)")
      ->type_name("T");
  CLI::App* initApp = storeApp->add_subcommand("init", "make the --store and its schema");
  storeApp->require_subcommand(1);

  CLI::App* collecting = app.add_subcommand(
      "collect", "download many LAN terminals at once, each into --dir/<ip>/, then a summary");
  std::string ipsFile, jobs = "8";
  collecting->add_option("--ips", ipsFile, "a file of terminal addresses, one per line (# comments)")
      ->type_name("FILE")
      ->required();
  collecting->add_option("--jobs", jobs, "downloads at the same time (1-1024)")
      ->type_name("N")
      ->capture_default_str();
  std::string every;
  collecting->add_option("--every", every,
                         "collect in rounds this far apart (30s, 10m, 2h) until Ctrl-C or SIGTERM; "
                         "a terminal that failed is tried again next round")
      ->type_name("DURATION");
  const ServeCommand serving = addServe(app);
  describeGroups(app);
  app.footer(kFooter);  // after the subcommands, which would take it as their own

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kUsage;
  }

  CLI::App* leafApp = selectedLeaf(app);
  std::string command = leafApp->get_name();
  if (leafApp == serving.app) return runServe(serving);
  try {
    const bool takesStore = leafApp == collecting || leafApp == recordsApp || leafApp == importApp ||
                            leafApp == initApp;
    if (!typed.store.empty()) {
      const store::Location location = store::readLocation(typed.store);
      if (!location.problem.empty()) throw UsageError("--store: " + location.problem);
    }
    const auto openStore = [&]() -> std::unique_ptr<store::Store> {
      if (typed.store.empty()) return nullptr;
      return store::openStore(typed.store);
    };
    // Where records are taken from a terminal: a store that would refuse them is found out first.
    const auto openWritableStore = [&]() -> std::unique_ptr<store::Store> {
      auto opened = openStore();
      if (opened) opened->proveWritable();
      return opened;
    };
    if (leafApp == recordsApp || leafApp == importApp || leafApp == initApp) {
      if (typed.store.empty()) throw UsageError("give --store FILE");
      if (checkedTarget(typed).kind != Target::Kind::None) throw UsageError("no --com, --device or --ip here");
      if (leafApp == recordsApp) {
        if (recordsCsv && typed.json) throw UsageError("--csv or --json, not both");
        store::Query q;
        if (!from.empty()) q.from = checkedTime("--from", from);
        if (!to.empty()) q.to = checkedTime("--to", to);
        if (!person.empty()) q.person = checkedNumber("--person", person, 0, 65535);
        if (!terminal.empty()) q.terminal = terminal;
        printFacts(store::openStore(typed.store, false)->query(q), recordsCsv   ? FactFormat::Csv
                                          : typed.json ? FactFormat::JsonLines
                                                       : FactFormat::Text);
        return 0;
      }
      if (leafApp == initApp) {
        openStore();
        if (!typed.json) std::printf("store: %s ready\n", store::withoutPassword(typed.store, typed.store).c_str());
        return 0;
      }
      std::string error;
      const std::vector<store::FoundFile> files = store::recordFilesOf(importPaths, error);
      if (!error.empty()) throw UsageError(error);
      const auto s = openStore();
      return printImported(store::importFiles(*s, files, importTerminal.empty()
                                                             ? std::nullopt
                                                             : std::optional<std::string>(importTerminal)),
                           typed.json);
    }
    if (!typed.store.empty() && !takesStore) {
      const auto found = leaves.find(leafApp);
      const bool download = found != leaves.end() && found->second.plain >= 0 &&
                            rows[static_cast<std::size_t>(found->second.plain)].download;
      if (!download && !(leafApp == watchable && watch.on)) {
        throw UsageError("--store goes with download, collect, modem download, realtime --watch, "
                         "records and store");
      }
    }
    if (leafApp == show) {
      if (csv && typed.json) throw UsageError("--csv or --json, not both");
      return showFiles(showPaths, transactions,
                       csv ? ShowFormat::Csv : typed.json ? ShowFormat::JsonLines : ShowFormat::Text);
    }
    if (leafApp == collecting) {
      if (checkedTarget(typed).kind != Target::Kind::None) {
        throw UsageError("the terminals come from --ips; no --com, --device or --ip");
      }
      const int jobCount = checkedNumber("--jobs", jobs, 1, 1024);
      const int everyMs = every.empty() ? 0 : checkedDuration("--every", every);  // 0: one round
      std::vector<Target> targets;
      for (const std::string& ip : readAddresses(ipsFile)) targets.push_back({Target::Kind::Tcp, 0, 0, ip});
      const auto s = openWritableStore();
      makeDirectory(typed.directory);
      handleInterrupts(InterruptMeaning::FinishThenStop);
      const InterruptStop interrupt;
      const collect::RoundOptions options{typed.directory, jobCount, s.get(), {}};
      int status = 0;
      if (everyMs == 0) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<Collected> results = collect::collectRound(targets, options, interrupt.token());
        status = printCollected(
            results, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            typed.json);
      } else {
        collect::collectEvery(
            targets, options, std::chrono::milliseconds(everyMs),
            [&](int round, const std::vector<Collected>& results, double seconds) {
              status = printRound(round, results, seconds, typed.json);
            },
            interrupt.token());
      }
      return interruptRequested() ? 130 : status;
    }
    const auto found = leaves.find(leafApp);
    if (found == leaves.end()) {
      std::fprintf(stderr, "%s", leafApp->help().c_str());
      return kUsage;
    }
    const Leaf& leaf = found->second;
    const int index = leaf.flag ? leaf.flagged : leaf.plain;
    if (index < 0) throw UsageError("needs its arguments");
    const Capability& c = rows[static_cast<std::size_t>(index)];
    command = c.path;
    if (!leaf.flag && leaf.flagged >= 0) {
      const Capability& plain = rows[static_cast<std::size_t>(leaf.plain)];
      if (!plain.numbers.empty() && leafApp->count(plain.numbers[0].name) == 0) {
        throw UsageError(std::string("give ") + plain.numbers[0].name + " or " +
                         rows[static_cast<std::size_t>(leaf.flagged)].flag);
      }
    }
    if (!typed.encoding.empty() && !isKnownCharset(typed.encoding)) {
      throw UsageError("--encoding " + typed.encoding + ": not a character set iconv knows");
    }
    const Target target = checkedTarget(typed);
    if (c.local && target.kind != Target::Kind::None) {
      throw UsageError("works on files here; no --com, --device or --ip");
    }
    if (!c.local && target.kind == Target::Kind::None) {
      throw UsageError("give --com N [--addr A], --device PATH or --ip A.B.C.D");
    }
    if (target.kind == Target::Kind::Tcp && !c.live && !c.lanRow && !c.lan) {
      throw UsageError("not over TCP; use --com or --device");
    }
    if (target.kind == Target::Kind::Serial && !c.live && !c.serialRow && !c.serial) {
      throw UsageError("not on a serial line; use --ip");
    }
    const Arguments a = checkedArguments(c, leaf, target, typed.encoding);
    Watch w = watch;
    if (c.live) {
      w.intervalMs = checkedNumber("--interval", interval, 1, 3'600'000);
      w.count = count.empty() ? 0 : checkedNumber("--count", count, 1, 2'147'483'647);
    }

    // From here on files, ports and sockets are touched; a store that cannot be written stops
    // the command before the terminal is.
    const auto store = openWritableStore();
    makeDirectory(typed.directory);
    ProgressLine progress;
    collect::HostPlatform cli(typed.directory, typed.json ? nullptr : &progress);
    Platform& platform = cli.platform();
    if (c.local) {
      clearFailure();
      return finish(c, {}, cli, c.local(platform, a), typed.json);
    }
    if (c.live) {
      if (w.on) handleInterrupts(InterruptMeaning::FinishThenStop);
      return live(c, target, cli, w, typed.json, store.get());
    }
    collect::StoredDownload storing = storedDownload(store.get(), c, target);
    // The records go into the store before the terminal lets them go.
    EraseWatch erase(store ? EraseWatch::Keep([&] {
      return storing.keep(cli.watch().activity());
    })
                           : EraseWatch::Keep());
    if (c.download) {
      // Before the terminal is touched, so no record leaves it without its origin on the disk.
      store::noteOrigin(typed.directory, target.storeName());
      cli.holdErase(&erase);
    }
    clearFailure();
    const std::int32_t value = target.kind == Target::Kind::Tcp
                                   ? runLan(c, platform, target.ip.c_str(), a)
                                   : runSerial(c, platform, target.address, target.port, a);
    return finish(c, target, cli, value, typed.json, &storing, erase);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "movar %s: %s\n", command.c_str(), store::withoutPassword(e.what(), typed.store).c_str());
    return kUsage;
  } catch (const std::exception& e) {  // a local step, or the library's own fault
    std::fprintf(stderr, "movar %s: %s\n", command.c_str(), store::withoutPassword(e.what(), typed.store).c_str());
    return kFailure;
  }
}

}  // namespace
}  // namespace movar::cli

int main(int argc, char** argv) { return movar::cli::run(argc, argv); }
