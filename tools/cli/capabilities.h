// What the command line can do: one row per capability, grouped as the exports are. A row names
// its subcommand path, its positional arguments in the export's order, and what it runs on a
// serial line (--com/--addr), over TCP (--ip) or with no terminal at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "platform/platform.h"
#include "settings/command.h"

namespace movar::cli {

struct Arguments {
  std::vector<std::int32_t> numbers;
  std::string text;  // a name, a voice text, a phone number, a directory
  std::string name;  // a file name
};

enum class TextKind {
  TerminalText,  // shown by the terminal: converted to its character set by --encoding
  Ascii,         // a phone number: ASCII as typed
  Path,          // a directory or file name on this PC, as typed
};

// A text positional. `longest` 0: the row's own limit (the terminal's buffer), if any.
struct TextParam {
  const char* name;
  const char* help;
  TextKind kind = TextKind::Path;
  std::size_t longest = 0;
  std::size_t shortest = 0;
};

enum class Result {
  Status,      // 0 success, anything else failure
  Value,       // the terminal's answer; 65535 is failure
  Port,        // the port found, -1 failure
  LiveRecord,  // twenty digits; twenty zeros: no record waiting
  UnitCode,    // a fingerprint unit's result: 0 done, 255 no exchange
};

using SerialCall = std::int32_t (*)(Platform&, std::int32_t address, std::int32_t port,
                                    const Arguments&);
using LanCall = std::int32_t (*)(Platform&, const char* ip, const Arguments&);
using LocalCall = std::int32_t (*)(Platform&, const Arguments&);
using LiveCall = std::string (*)(Platform&, std::int32_t address, std::int32_t port, const char* ip);

struct Capability {
  const char* path;  // "time set"
  const char* help;
  std::vector<Param> numbers = {};
  std::optional<TextParam> text = {};  // a text argument after the numbers
  std::optional<TextParam> name = {};  // a file name argument after the text
  const settings::Command* serialRow = nullptr;
  const settings::Command* lanRow = nullptr;
  SerialCall serial = nullptr;
  LanCall lan = nullptr;
  LocalCall local = nullptr;
  LiveCall live = nullptr;
  Result result = Result::Status;
  // Set: this row runs instead of its path's other row when the flag is given ("--all").
  const char* flag = nullptr;
  std::vector<std::int32_t> preset = {};  // numbers the row sends instead of the caller's
  bool download = false;  // a progress window, records and files to report
  bool erases = false;    // a download that erases the terminal after the transfer
  // The records' machine number is the one the IP text's end gives (as its text lines say).
  bool machineFromAddress = false;
  const char* note = nullptr;  // said in the subcommand's help, below its arguments
};

const std::vector<Capability>& capabilities();

// Runs the row's serial or TCP form (a text with no room in the terminal gives 1).
std::int32_t runSerial(const Capability& c, Platform& platform, std::int32_t address,
                       std::int32_t port, const Arguments& arguments);
std::int32_t runLan(const Capability& c, Platform& platform, const char* ip,
                    const Arguments& arguments);

}  // namespace movar::cli
