// Records a terminal takes while the host polls: answered one per poll (0x16 serial, 0x17 TCP),
// and removed only when the host acknowledges the frame that carried them.
#pragma once

#include <deque>
#include <memory>
#include <mutex>

#include "terminal.h"

namespace movar::sim {

class LiveRecords : public std::enable_shared_from_this<LiveRecords> {
 public:
  static std::shared_ptr<LiveRecords> installOn(Terminal& terminal);

  void push(const Bytes& record);  // one 6-byte attendance record
  std::size_t waiting() const;

  // Faults for the next frames.
  void damageNextFrames(int count);
  void closeAfterAck(bool close);  // TCP: drop the connection right after the 06

 private:
  friend class LiveExchange;
  mutable std::mutex mutex_;
  std::deque<Bytes> queue_;
  int damage_ = 0;
  bool closeAfterAck_ = false;
};

}  // namespace movar::sim
