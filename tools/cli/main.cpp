// movar: the library's capabilities from a shell. A target is --com N [--addr A] or --ip
// A.B.C.D; record files go to --dir (default: the current directory). Exit status 0 on success,
// 1 when the terminal or the library reported failure, 2 on a usage error.
#include <CLI/CLI.hpp>

#include <csignal>
#include <filesystem>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "capabilities.h"
#include "cli_platform.h"
#include "collect.h"
#include "report.h"
#include "show.h"

namespace movar::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;  // set by SIGINT: --watch ends

constexpr int kUsage = 2;

// The rows of one subcommand: its own, and the one its flag selects.
struct Leaf {
  int plain = -1, flagged = -1;
  bool flag = false;
};

struct Options {
  std::optional<int> com;
  int address = 1;
  std::string ip;
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

int finish(const Capability& c, const Target& target, Platform& platform, std::int32_t value,
           bool json) {
  const bool ok = c.result == Result::Value  ? value != 65535
                  : c.result == Result::Port ? value > 0
                                             : value == 0;
  const bool unitAnswered = c.result == Result::UnitCode && value != 255;
  const std::string error = ok             ? ""
                            : unitAnswered ? "the unit answered " + std::to_string(value)
                                           : explainFailure(platform, target);
  if (json) {
    JsonLine line;
    line.text("command", c.path);
    if (target.kind != Target::Kind::None) line.text("target", target.text());
    line.number("result", value).boolean("ok", ok);
    if (!ok) line.text("error", error);
    std::printf("%s\n", line.str().c_str());
  } else if (!ok) {
    std::fprintf(stderr, "movar %s: failed (%d): %s\n", c.path, value, error.c_str());
  } else if (c.result == Result::Port) {
    std::printf("terminal %d found on COM%d\n", target.address, value);
  } else if (c.result == Result::Value) {
    std::printf("%d\n", value);
  } else if (c.result == Result::UnitCode) {
    std::printf("%s: ok (unit result 0)\n", c.path);
  } else {
    std::printf("%s: ok\n", c.path);
  }
  return ok ? 0 : 1;
}

int live(const Capability& c, const Target& target, Platform& platform, bool watch, int intervalMs,
         int count, bool json) {
  const char* ip = target.kind == Target::Kind::Tcp ? target.ip.c_str() : nullptr;
  std::string last;
  for (int shown = 0; count <= 0 || shown < count;) {
    const std::string digits = c.live(platform, target.address, target.port, ip);
    LiveFields fields;
    const bool record = decodeLiveRecord(digits, fields);
    if (record && digits != last) {
      printLiveRecord(digits, fields, json);
      ++shown;
    }
    if (record) last = digits;
    if (!watch) {
      if (!record && !json) std::printf("no record waiting\n");
      if (!record && json) std::printf("%s\n", JsonLine().text("record", digits).str().c_str());
      return 0;
    }
    if (interrupted) return 0;
    if (!record) std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    if (interrupted) return 0;
  }
  return 0;
}

int run(int argc, char** argv) {
  CLI::App app{"movar: download, configure and watch time-attendance terminals"};
  app.fallthrough();
  app.require_subcommand(1);
  Options o;
  app.add_option("--com", o.com, "serial: the COM port at which the search starts (1-4)");
  app.add_option("--addr", o.address, "serial: the terminal's machine address")->capture_default_str();
  app.add_option("--ip", o.ip, "TCP: the terminal's IPv4 address (port 1024)");
  app.add_option("--dir", o.directory, "where record files and backups go")->capture_default_str();
  app.add_flag("--json", o.json, "one JSON object per result or record");

  const std::vector<Capability>& rows = capabilities();
  std::vector<Arguments> arguments(rows.size());
  std::map<CLI::App*, Leaf> leaves;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Capability& c = rows[i];
    CLI::App* sub = subcommandAt(app, c.path, c.help);
    Leaf& leaf = leaves[sub];
    if (c.flag) {
      leaf.flagged = static_cast<int>(i);
      sub->add_flag(c.flag, leaf.flag, c.help);
      continue;
    }
    leaf.plain = static_cast<int>(i);
    arguments[i].numbers.resize(c.numbers.size());
    for (std::size_t k = 0; k < c.numbers.size(); ++k) {
      sub->add_option(c.numbers[k], arguments[i].numbers[k])->required();
    }
    if (c.text) sub->add_option(c.text, arguments[i].text)->required();
    if (c.name) sub->add_option(c.name, arguments[i].name)->required();
  }
  for (auto& [sub, leaf] : leaves) {
    if (leaf.flagged < 0 || leaf.plain < 0) continue;
    // With the flag the row's own arguments are not wanted.
    for (CLI::Option* option : sub->get_options()) {
      if (option->get_positional()) option->required(false);
    }
  }

  CLI::App* watchable = subcommandAt(app, "realtime", "");
  bool watch = false;
  int intervalMs = 1'000;
  int count = 0;
  watchable->add_flag("--watch", watch, "poll until interrupted, each record printed once");
  watchable->add_option("--interval", intervalMs, "--watch: milliseconds between empty polls")
      ->capture_default_str();
  watchable->add_option("--count", count, "--watch: stop after this many records");

  CLI::App* show = app.add_subcommand("show", "decode a record file (or --transactions) into lines");
  std::string showPath;
  bool transactions = false;
  show->add_option("file", showPath)->required();
  show->add_flag("--transactions", transactions, "the file holds 17-byte transaction records");

  CLI::App* collecting = app.add_subcommand("collect", "download many LAN terminals at once");
  std::string ipsFile;
  int jobs = 8;
  collecting->add_option("--ips", ipsFile, "a file of terminal addresses, one per line")->required();
  collecting->add_option("--jobs", jobs, "downloads at the same time")->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kUsage;
  }

  CLI::App* leafApp = selectedLeaf(app);
  if (leafApp == show) return showFile(showPath, transactions, o.json);
  if (leafApp == collecting) {
    bool readable = false;
    const std::vector<std::string> ips = readAddresses(ipsFile, readable);
    if (!readable) {
      std::fprintf(stderr, "movar collect: can not read %s\n", ipsFile.c_str());
      return kUsage;
    }
    return printCollected(collect(ips, o.directory, jobs), o.json);
  }
  const auto found = leaves.find(leafApp);
  if (found == leaves.end()) {
    std::fprintf(stderr, "%s", leafApp->help().c_str());
    return kUsage;
  }
  const Leaf& leaf = found->second;
  const int index = leaf.flag ? leaf.flagged : leaf.plain;
  if (index < 0) {
    std::fprintf(stderr, "movar: %s needs its arguments\n", leafApp->get_name().c_str());
    return kUsage;
  }
  const Capability& c = rows[static_cast<std::size_t>(index)];
  Arguments& a = arguments[static_cast<std::size_t>(index)];
  if (!leaf.flag && leaf.flagged >= 0) {
    const Capability& plain = rows[static_cast<std::size_t>(leaf.plain)];
    if (!plain.numbers.empty() && leafApp->count(plain.numbers[0]) == 0) {
      std::fprintf(stderr, "movar %s: give %s or %s\n", c.path, plain.numbers[0],
                   rows[static_cast<std::size_t>(leaf.flagged)].flag);
      return kUsage;
    }
  }

  std::error_code ignored;  // a directory that cannot be made shows as a file that cannot be
  std::filesystem::create_directories(o.directory, ignored);
  CliPlatform cli(o.directory, !o.json);
  Platform& platform = cli.platform();
  Target target;
  if (!o.ip.empty()) {
    target = {Target::Kind::Tcp, o.address, 0, o.ip};
  } else if (o.com) {
    target = {Target::Kind::Serial, o.address, *o.com, ""};
  }
  if (c.local) return finish(c, {}, platform, c.local(platform, a), o.json);
  if (target.kind == Target::Kind::None) {
    std::fprintf(stderr, "movar %s: give --com N [--addr A] or --ip A.B.C.D\n", c.path);
    return kUsage;
  }
  if (c.live) return live(c, target, platform, watch, intervalMs, count, o.json);
  if (target.kind == Target::Kind::Tcp) {
    if (!c.lanRow && !c.lan) {
      std::fprintf(stderr, "movar %s: not over TCP; use --com\n", c.path);
      return kUsage;
    }
    return finish(c, target, platform, runLan(c, platform, target.ip.c_str(), a), o.json);
  }
  if (!c.serialRow && !c.serial) {
    std::fprintf(stderr, "movar %s: not on a serial line; use --ip\n", c.path);
    return kUsage;
  }
  return finish(c, target, platform, runSerial(c, platform, target.address, target.port, a),
                o.json);
}

}  // namespace
}  // namespace movar::cli

int main(int argc, char** argv) {
  std::signal(SIGINT, [](int) { movar::cli::interrupted = 1; });
  return movar::cli::run(argc, argv);
}
