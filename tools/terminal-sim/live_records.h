// Records a terminal takes while the host polls: answered one per poll (0x16 serial, 0x17 TCP),
// and removed only when the host acknowledges the frame that carried them.
#pragma once

#include <deque>
#include <mutex>
#include <optional>

#include "terminal.h"

namespace movar::sim {

// Kept as the terminal's part: terminal.part<LiveRecords>().
class LiveRecords {
 public:
  void push(const Bytes& record);  // one 6-byte attendance record
  std::size_t waiting() const;

  // Faults for the next frames.
  void damageNextFrames(int count);
  // The next frame stops after `keep` bytes (0: none); the rest follows `pause` later, or never.
  void holdBackNextFrame(std::size_t keep, std::optional<Millis> pause = std::nullopt);
  void closeAfterAck(bool close);   // TCP: drop the connection right after the 06
  void closeWhenTaken(bool close);  // TCP: drop it once the host acknowledged the record

 private:
  friend class LiveExchange;
  mutable std::mutex mutex_;
  std::deque<Bytes> queue_;
  int damage_ = 0;
  std::optional<std::size_t> keep_;
  std::optional<Millis> restAfter_;
  bool closeAfterAck_ = false;
  bool closeWhenTaken_ = false;
};

// Registers the poll commands 0x16 and 0x17.
void installLiveRecords(Terminal& terminal);

// One poll's exchange, for a family that shares command 0x16 with the serial poll.
std::unique_ptr<Exchange> livePoll(Terminal& terminal);

}  // namespace movar::sim
