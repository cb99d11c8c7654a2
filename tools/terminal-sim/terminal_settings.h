// What the setting commands tell a terminal (clock, machine number, password, lock number, the
// answer byte, enabled and disabled persons, names, voice records), kept as the terminal's part. One DataBlock exchange
// serves every command that carries a block: it checks the block, stores what it says and answers
// 0x06, or what the test scripted for that command.
#pragma once

#include <array>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "terminal.h"

namespace movar::sim {

class TerminalSettings {
 public:
  enum class AllPersons { Untouched, Enabled, Disabled };

  struct Voice {
    std::array<std::uint16_t, 13> fields{};
    Bytes text;  // as received
  };

  struct State {
    std::map<std::uint8_t, Bytes> lastBlock;  // the payload of every accepted block, by command
    Bytes clock;                              // the seven clock bytes as sent
    std::optional<std::uint8_t> machineId;
    std::optional<std::uint16_t> password;
    std::optional<std::uint16_t> lockNumber;  // cleared by the lock number's delete
    std::set<std::uint16_t> onlyCards;        // the card-only list (0x03: 00 add, 01 remove, 02 clear)
    std::optional<std::uint8_t> answer;       // the byte of a one-byte command 0x03 block
    std::optional<std::uint8_t> backupMode;   // the mode of the backup command (0x0E, one byte)
    AllPersons allPersons = AllPersons::Untouched;
    std::set<std::uint16_t> enabled, disabled;  // persons switched one by one
    std::map<std::uint16_t, std::uint16_t> sn;  // SN value by entry number
    std::optional<std::uint16_t> snLength;      // set: command 0x16 answers it (else it polls)
    std::map<std::uint16_t, Bytes> names;       // by person number, the bytes as received
    std::map<std::uint16_t, Voice> voices;      // filed under field 2; deleting 0 deletes all
    int malformedBlocks = 0;                    // refused with 0x15
    int answersConfirmed = 0;                   // AnswerBlocks the host confirmed with 0x06
  };

  // The answer to a well-formed block of `command`: after `workingTime`, `byte`, or nothing; then,
  // `doneAfter` later, `done` when the command's work is over (the backup command answers 0x06).
  struct Answer {
    Millis workingTime{0};
    std::optional<std::uint8_t> byte{0x06};
    std::optional<std::uint8_t> done{};
    Millis doneAfter{0};
  };

  State state() const;
  void script(std::uint8_t command, Answer answer);
  void setSnLength(std::optional<std::uint16_t> length);
  void setName(std::uint16_t person, Bytes name);
  // The next AnswerBlocks go out with a wrong checksum.
  void damageNextAnswers(int count);

 private:
  friend class BlockExchange;
  friend class SnLengthExchange;
  friend void installTerminalSettings(Terminal& terminal);
  Answer answerTo(std::uint8_t command) const;  // the mutex held
  mutable std::mutex mutex_;
  State state_;
  std::map<std::uint8_t, Answer> answers_;
  int damagedAnswers_ = 0;
};

// Registers the block commands (clock 0x02, 0x03, machine number 0x04, door switch and name
// renumbering 0x06, password 0x07, persons 0x0A and 0x0B, names and the backup command 0x0E, SNs 0x10 and 0x11, the SN
// query 0x12, options 0x13, options and voice records 0x14, voice deletion 0x15, bell 0x18), the
// whole-terminal commands 0x08 and 0x09 (answered by the acknowledgement alone) and the deletion
// of all names 0x05 (a second 0x06 when done).
void installTerminalSettings(Terminal& terminal);

}  // namespace movar::sim
