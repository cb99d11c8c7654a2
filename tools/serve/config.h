// A site as its configuration file describes it (TOML): the store, the record folder, the
// schedule, the HTTP side and the terminals. Read whole and checked before anything is touched;
// a fault names the file, the line and the key.
#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "collect/target.h"

namespace movar::serve {

enum class ClockCare { Never, Daily };

struct TerminalConfig {
  std::string name;
  collect::Target target;
  std::optional<long> capacity;  // records its memory holds
  ClockCare clock = ClockCare::Never;
  friend bool operator==(const TerminalConfig&, const TerminalConfig&) = default;
};

struct Listen {
  std::string host = "127.0.0.1";
  int port = 8080;
  bool loopback() const;
  std::string text() const;
};

struct Config {
  std::string file;
  std::string store;
  std::string dir;
  std::chrono::milliseconds every{std::chrono::minutes(10)};
  int jobs = 8;
  Listen listen;
  std::string token;
  std::optional<int> keepDays;  // backups older than this are pruned
  // "shared": the store's fleet is the list, the file's terminals only add to it; else the file's
  // terminals alone (still claimed through the store, so two collectors never hold one at once).
  bool sharedFleet = false;
  std::chrono::milliseconds lease{std::chrono::minutes(2)};  // a claim's, renewed while it runs
  std::vector<TerminalConfig> terminals;
};

// "FILE:LINE: KEY: why" (LINE left out when the fault is the file's as a whole).
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Config readConfig(const std::string& path);

}  // namespace movar::serve
