#include "help.h"

#include <map>

namespace movar::cli {

namespace {

const std::map<std::string, std::string> kGroupTitles{
    {"time", "the clock"},
    {"lock", "the lock number"},
    {"person", "enable or disable persons"},
    {"sn", "SN numbers"},
    {"only-card", "the card-only list"},
    {"door", "door settings"},
    {"name", "person names"},
    {"voice", "voice records"},
    {"backup", "the device backup, zwbak.txt in --dir"},
    {"fp", "fingerprint units, files in FINGERREC/ below --dir"},
    {"modem", "through a modem"},
    {"store", "the record store"},
};

const char* const kMarks[] = {"[serial only]", "[TCP only]", "[no terminal]"};

std::string markOf(const std::string& description) {
  for (const char* mark : kMarks) {
    if (description.ends_with(mark)) return mark;
  }
  return "";
}

std::vector<CLI::App*> children(CLI::App& app) {
  return app.get_subcommands([](CLI::App*) { return true; });
}

}  // namespace

std::string whereItRuns(const std::vector<const Capability*>& rows) {
  bool serial = false, tcp = false;
  for (const Capability* c : rows) {
    serial = serial || c->serial || c->serialRow || c->live;
    tcp = tcp || c->lan || c->lanRow || c->live;
  }
  if (serial && !tcp) return kMarks[0];
  if (tcp && !serial) return kMarks[1];
  return "";
}

void describeGroups(CLI::App& app) {
  for (CLI::App* sub : children(app)) {
    const std::vector<CLI::App*> kids = children(*sub);
    if (kids.empty()) continue;
    describeGroups(*sub);
    std::string names;
    std::string commonMark = markOf(kids.front()->get_description());
    for (CLI::App* kid : kids) {
      names += (names.empty() ? "" : ", ") + kid->get_name();
      if (markOf(kid->get_description()) != commonMark) commonMark.clear();
    }
    const auto title = kGroupTitles.find(sub->get_name());
    if (title == kGroupTitles.end()) {  // a command of its own with variants below it
      sub->description(sub->get_description() + "; also: " + names);
    } else {
      sub->description(title->second + ": " + names + (commonMark.empty() ? "" : " " + commonMark));
    }
  }
}

std::string describe(const Param& p) {
  return std::string(p.help) + " (" + std::to_string(p.min) + "-" + std::to_string(p.max) + ")";
}

std::string describe(const TextParam& t) {
  std::string text = t.help;
  if (t.longest > 0) text += " (at most " + std::to_string(t.longest) + " bytes)";
  return text;
}

const char* const kFooter = R"(
Targets (one only):
  --com N [--addr A]  serial: the search starts at COM N and goes on through COM1-COM4
  --device PATH       serial: PATH is the search's first port (COM N, 1 by default)
  --ip A.B.C.D        TCP port 1024; four decimal fields 0-255, no leading zeros
COM port n is the device named by the environment variable MOVAR_COM<n> (n = 1..9), for
example MOVAR_COM1=/dev/ttyUSB0; without it, /dev/ttyS<n-1>.
Numbers are decimal or 0x hex, each checked against the values the command gives meaning to.
Names and voice texts are typed in UTF-8; --encoding CHARSET writes them in the terminal's
character set (GBK, BIG5, CP1252, ..., as iconv names them); --encoding raw sends the bytes as
typed. Non-ASCII text without --encoding is refused.
Ctrl-C ends a command at once (a download stopped so never erases the terminal); realtime
--watch ends after the current poll; collect starts no new download and prints its summary,
and a second Ctrl-C ends it at once.
Exit status: 0 success; 1 the terminal, the link or a file on this PC failed (the reason on
stderr); 2 a usage error (the argument named, nothing sent); 130 interrupted.)";

}  // namespace movar::cli
