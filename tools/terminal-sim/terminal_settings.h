// What the setting commands tell a terminal (clock, machine number, password, lock number, the
// answer byte, enabled and disabled persons), kept as the terminal's part. One DataBlock exchange
// serves every command that carries a block: it checks the block, stores what it says and answers
// 0x06, or what the test scripted for that command.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "terminal.h"

namespace movar::sim {

class TerminalSettings {
 public:
  enum class AllPersons { Untouched, Enabled, Disabled };

  struct State {
    std::map<std::uint8_t, Bytes> lastBlock;  // the payload of every accepted block, by command
    Bytes clock;                              // the seven clock bytes as sent
    std::optional<std::uint8_t> machineId;
    std::optional<std::uint16_t> password;
    std::optional<std::uint16_t> lockNumber;  // cleared by the lock number's delete
    std::optional<std::uint8_t> answer;       // the byte of a one-byte command 0x03 block
    AllPersons allPersons = AllPersons::Untouched;
    std::set<std::uint16_t> enabled, disabled;  // persons switched one by one
    int malformedBlocks = 0;                    // refused with 0x15
  };

  // The answer to a well-formed block of `command`: after `workingTime`, `byte`, or nothing.
  struct Answer {
    Millis workingTime{0};
    std::optional<std::uint8_t> byte{0x06};
  };

  State state() const;
  void script(std::uint8_t command, Answer answer);

 private:
  friend class BlockExchange;
  friend void installTerminalSettings(Terminal& terminal);
  mutable std::mutex mutex_;
  State state_;
  std::map<std::uint8_t, Answer> answers_;
};

// Registers the block commands 0x02, 0x03, 0x04, 0x07, 0x0A, 0x0B and the whole-terminal commands
// 0x08, 0x09 (answered by the acknowledgement alone).
void installTerminalSettings(Terminal& terminal);

}  // namespace movar::sim
