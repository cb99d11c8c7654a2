// The terminal's attendance record memory and the block transfer that serves it (command 0x01),
// with erase (0x0D) and the restore commands (0x0C, 0x0F), and faults scripted per block.
#pragma once

#include <mutex>
#include <vector>

#include "terminal.h"

namespace movar::sim {

struct BlockFault {
  enum class Kind {
    DamagedCheck,     // the check byte is wrong on the first `times` sendings
    RepeatAfterAck,   // sent once more after the host acknowledged it
    WrongNumber,      // the first sending carries the next block's number
    Stall,            // the first sending waits `stall` longer
    ExtraBytes,       // the first sending has `extra` bytes too many
    CloseConnection,  // the connection closes instead (TCP; silence on a line)
    Silence,          // nothing more is sent
    WrongSum,         // the end block's transfer sum is off by one
  };
  std::size_t block = 0;  // 0 the header, 1.. record blocks, the last the end block
  Kind kind = Kind::DamagedCheck;
  int times = 1;
  Millis stall{0};
  int extra = 0;
};

class RecordMemory {
 public:
  static constexpr std::size_t kRecordsPerBlock = 28;
  // Record i of a filled memory: person i, a date and time derived from i.
  static Bytes record(std::uint32_t i);
  static Bytes records(std::uint32_t first, std::uint32_t count);

  void fill(std::uint32_t count);
  void load(Bytes records);  // whole 6-byte records of the test's own making
  std::uint32_t count() const;
  Bytes contents() const;
  void erase();
  void restore();  // brings back what the last erase removed
  // Faults of the next downloads, until replaced.
  void script(std::vector<BlockFault> faults);
  void strayAfterClose(Bytes bytes);  // sent after the host's closing 0x15

  int erasures() const;
  int restores() const;
  int downloadsServed() const;  // transfers that reached the host's closing byte

  // Snapshot for one download.
  struct Plan {
    Bytes records;
    std::vector<BlockFault> faults;
    Bytes strayAfterClose;
  };
  Plan plan() const;
  void served();

 private:
  mutable std::mutex mutex_;
  Bytes records_;
  Bytes erased_;
  std::vector<BlockFault> faults_;
  Bytes stray_;
  int erasures_ = 0;
  int restores_ = 0;
  int served_ = 0;
};

// Registers 0x01, 0x0C, 0x0D and 0x0F on the terminal; the memory is terminal.part<RecordMemory>().
void installRecordMemory(Terminal& terminal);

}  // namespace movar::sim
