// The terminal's attendance record memory and the block transfer that serves it (command 0x01),
// with erase (0x0D) and the restore commands (0x0C, 0x0F), and faults scripted per block.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "terminal.h"

namespace movar::sim {

// A fault bends sendings `fromSending` .. `fromSending + times - 1` (counted from 0) of one block.
struct BlockFault {
  enum class Kind {
    DamagedCheck,     // the check byte is wrong
    BentByte,         // byte `at` is XORed with `mask`
    BentButChecked,   // likewise, and the check byte made to fit again
    Cut,              // only the first `keep` bytes go out
    RepeatAfterAck,   // sent once more after the host acknowledged it
    WrongNumber,      // carries the next block's number
    Stall,            // waits `stall` longer
    ExtraBytes,       // `extra` bytes too many after the block
    LongPayload,      // `extra` zero bytes after the records, counted in the length byte
    CloseConnection,  // the connection closes instead (TCP; silence on a line)
    Silence,          // nothing more is sent
    WrongSum,         // the end block's transfer sum is off by one
    Trickle,          // each byte `stall` after the one before
  };
  std::size_t block = 0;  // 0 the header, 1.. record blocks, the last the end block
  Kind kind = Kind::DamagedCheck;
  int times = 1;
  int fromSending = 0;
  Millis stall{0};
  int extra = 0;
  std::size_t at = 0;
  std::uint8_t mask = 0xFF;
  std::size_t keep = 0;
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
  // A new record at the end, as a person's punch adds one.
  void append(const Bytes& record);
  // After a download, removes the records it planned to send; punches since then stay.
  void erase();
  void restore();  // brings back what the last erase removed
  // Faults of the next downloads, until replaced.
  void script(std::vector<BlockFault> faults);
  void strayAfterClose(Bytes bytes, Millis delay = Millis{0});  // after the host's closing 0x15

  int erasures() const;
  int restores() const;
  int downloadsServed() const;  // transfers that reached the host's closing byte

  // Snapshot for one download.
  struct Plan {
    Bytes records;
    std::vector<BlockFault> faults;
    Bytes strayAfterClose;
    Millis strayDelay{0};
  };
  Plan plan() const;
  void served();

 private:
  mutable std::mutex mutex_;
  Bytes records_;
  Bytes erased_;
  mutable std::optional<std::size_t> planned_;  // bytes in the last download's snapshot
  std::vector<BlockFault> faults_;
  Bytes stray_;
  Millis strayDelay_{0};
  int erasures_ = 0;
  int restores_ = 0;
  int served_ = 0;
};

// Registers 0x01, 0x0C, 0x0D and 0x0F on the terminal; the memory is terminal.part<RecordMemory>().
void installRecordMemory(Terminal& terminal);

}  // namespace movar::sim
