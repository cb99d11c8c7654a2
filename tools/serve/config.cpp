#include "serve/config.h"

#include <arpa/inet.h>

#include <charconv>
#include <set>
#define TOML_EXCEPTIONS 1
#include <toml++/toml.h>

#include "collect/span.h"
#include "link/net_link.h"
#include "store/location.h"

namespace movar::serve {

namespace {

std::optional<long long> wholeNumber(std::string_view text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Where a fault is said: the file, the line of the node (or of its table), the key.
class Reader {
 public:
  explicit Reader(std::string file) : file_(std::move(file)) {}

  [[noreturn]] void fail(const toml::node* at, const std::string& key, const std::string& why) const {
    std::string where = file_;
    if (at && at->source().begin.line > 0) where += ":" + std::to_string(at->source().begin.line);
    throw ConfigError(where + ": " + key + ": " + why);
  }

  std::optional<std::string> text(const toml::table& table, const std::string& key) const {
    const toml::node* node = table.get(key);
    if (!node) return std::nullopt;
    if (!node->is_string()) fail(node, key, "a text in quotes is wanted here");
    return node->value<std::string>();
  }

  std::optional<long long> number(const toml::table& table, const std::string& key, long long min,
                                  long long max) const {
    const toml::node* node = table.get(key);
    if (!node) return std::nullopt;
    if (!node->is_integer()) fail(node, key, "a whole number is wanted here");
    const long long value = *node->value<long long>();
    if (value < min || value > max) {
      fail(node, key, std::to_string(value) + " is outside " + std::to_string(min) + "-" + std::to_string(max));
    }
    return value;
  }

  // A misspelt key is a fault, not a silent default.
  void onlyKnown(const toml::table& table, const std::set<std::string>& known, const std::string& prefix) const {
    for (const auto& [key, node] : table) {
      if (!known.contains(std::string(key.str()))) {
        fail(&node, prefix + std::string(key.str()), "not a key of this file (known: " + list(known) + ")");
      }
    }
  }

 private:
  static std::string list(const std::set<std::string>& keys) {
    std::string out;
    for (const std::string& k : keys) out += (out.empty() ? "" : ", ") + k;
    return out;
  }
  std::string file_;
};

bool isIpv4(const std::string& text) {
  in_addr parsed{};
  return link::isDottedDecimal(text.c_str()) && ::inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

Listen listenOf(const Reader& r, const toml::table& top, const std::string& text) {
  const std::size_t colon = text.rfind(':');
  const auto port = colon == std::string::npos ? std::nullopt : wholeNumber(std::string_view(text).substr(colon + 1));
  Listen l;
  if (colon != std::string::npos) l.host = text.substr(0, colon);
  if (!port || *port < 1 || *port > 65535 || !isIpv4(l.host)) {
    r.fail(top.get("listen"), "listen", "\"" + text + "\" is not IPV4:PORT (for example 127.0.0.1:8080)");
  }
  l.port = static_cast<int>(*port);
  return l;
}

TerminalConfig terminalOf(const Reader& r, const toml::table& t, std::size_t index,
                          std::set<std::string>& names, std::set<std::string>& places) {
  const std::string at = "terminal[" + std::to_string(index + 1) + "].";
  r.onlyKnown(t, {"name", "ip", "com", "address", "capacity", "clock"}, at);
  TerminalConfig c;
  const auto name = r.text(t, "name");
  if (!name || name->empty()) r.fail(&t, at + "name", "every terminal needs a name");
  c.name = *name;
  if (!names.insert(c.name).second) r.fail(t.get("name"), at + "name", "\"" + c.name + "\" names two terminals");
  const auto ip = r.text(t, "ip");
  const auto com = r.number(t, "com", 1, 9);
  const auto address = r.number(t, "address", 0, 255);
  if (ip && (com || address)) r.fail(&t, at + "ip", "ip, or com with address, not both");
  if (ip) {
    if (!isIpv4(*ip)) r.fail(t.get("ip"), at + "ip", "\"" + *ip + "\" is not an IPv4 address");
    c.target = {collect::Target::Kind::Tcp, 0, 0, *ip};
  } else if (com) {
    c.target = {collect::Target::Kind::Serial, static_cast<std::int32_t>(address.value_or(1)),
                static_cast<std::int32_t>(*com), ""};
  } else {
    r.fail(&t, at + "ip", "give ip, or com (and address)");
  }
  if (!places.insert(c.target.storeName()).second) {
    r.fail(&t, at + "name", c.target.text() + " is named by two terminals");
  }
  if (const auto capacity = r.number(t, "capacity", 1, 100'000'000)) c.capacity = static_cast<long>(*capacity);
  if (const auto clock = r.text(t, "clock")) {
    if (*clock != "never" && *clock != "daily") r.fail(t.get("clock"), at + "clock", "\"never\" or \"daily\"");
    c.clock = *clock == "daily" ? ClockCare::Daily : ClockCare::Never;
  }
  return c;
}

}  // namespace

bool Listen::loopback() const { return host.rfind("127.", 0) == 0; }
std::string Listen::text() const { return host + ":" + std::to_string(port); }

Config readConfig(const std::string& path) {
  const Reader r(path);
  toml::table top;
  try {
    top = toml::parse_file(path);
  } catch (const toml::parse_error& e) {
    const auto line = e.source().begin.line;
    throw ConfigError(path + (line > 0 ? ":" + std::to_string(line) : "") + ": " + std::string(e.description()));
  }
  r.onlyKnown(top, {"store", "dir", "every", "jobs", "listen", "token", "keep", "clock", "fleet", "lease",
                      "terminal"}, "");
  Config c;
  c.file = path;
  const auto store = r.text(top, "store");
  if (!store || store->empty()) r.fail(top.get("store"), "store", "the record store is needed (a SQLite file or a PostgreSQL connection)");
  if (const store::Location l = store::readLocation(*store); !l.problem.empty()) r.fail(top.get("store"), "store", l.problem);
  c.store = *store;
  const auto dir = r.text(top, "dir");
  if (!dir || dir->empty()) r.fail(top.get("dir"), "dir", "the folder for record files is needed");
  c.dir = *dir;
  if (const auto every = r.text(top, "every")) {
    const auto parsed = collect::parseSpan(*every);
    if (!parsed) r.fail(top.get("every"), "every", "\"" + *every + "\" is not a duration from 1s to 7 days (30s, 10m, 2h)");
    c.every = *parsed;
  }
  if (const auto jobs = r.number(top, "jobs", 1, 1024)) c.jobs = static_cast<int>(*jobs);
  if (const auto listen = r.text(top, "listen")) c.listen = listenOf(r, top, *listen);
  c.token = r.text(top, "token").value_or("");
  if (const auto fleet = r.text(top, "fleet")) {
    if (*fleet != "own" && *fleet != "shared") r.fail(top.get("fleet"), "fleet", "\"" + *fleet + "\" is not \"own\" or \"shared\"");
    c.sharedFleet = *fleet == "shared";
  }
  if (const auto lease = r.text(top, "lease")) {
    const auto parsed = collect::parseSpan(*lease);
    if (!parsed || *parsed < std::chrono::seconds(4)) {
      r.fail(top.get("lease"), "lease", "\"" + *lease + "\" is not a duration from 4s to 7 days (2m)");
    }
    c.lease = *parsed;
  }
  if (const auto keep = r.text(top, "keep")) {
    const auto days = keep->size() > 1 && keep->back() == 'd' ? wholeNumber(std::string_view(*keep).substr(0, keep->size() - 1)) : std::nullopt;
    if (!days || *days < 1 || *days > 36500) r.fail(top.get("keep"), "keep", "\"" + *keep + "\" is not a number of days (400d)");
    c.keepDays = static_cast<int>(*days);
  }
  if (!c.listen.loopback() && c.token.empty()) {
    r.fail(top.get("listen"), "listen", c.listen.text() + " is beyond loopback: give a token too, which every request must then bear");
  }
  const toml::node* terminals = top.get("terminal");
  if (terminals && !terminals->is_array_of_tables()) r.fail(terminals, "terminal", "[[terminal]] tables are wanted");
  ClockCare siteClock = ClockCare::Never;
  if (const auto clock = r.text(top, "clock")) {
    if (*clock != "never" && *clock != "daily") r.fail(top.get("clock"), "clock", "\"never\" or \"daily\"");
    siteClock = *clock == "daily" ? ClockCare::Daily : ClockCare::Never;
  }
  std::set<std::string> names, places;
  if (terminals) {
    std::size_t index = 0;
    for (const toml::node& node : *terminals->as_array()) {
      const toml::table& t = *node.as_table();
      TerminalConfig tc = terminalOf(r, t, index++, names, places);
      if (!t.get("clock")) tc.clock = siteClock;
      c.terminals.push_back(std::move(tc));
    }
  }
  return c;
}

}  // namespace movar::serve
