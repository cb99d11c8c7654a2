// The device side of the backup transfer: framed messages at 19200 baud with two stop bits, no
// preamble. It answers the opening request, serves its backup data in frames on a read request,
// takes data frames and reports the result; scripted faults on every step.
#pragma once

#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "terminal.h"

namespace movar::sim {

class BackupDevice {
 public:
  struct Script {
    std::uint8_t openFlags = 0x04;  // of the answer to the opening request (0x05 wants a confirmation)
    std::uint16_t openSequence = 0x0001;
    Millis openingDelay{0};  // before the answer to the opening request
    bool answerReadRequest = true;
    Millis readRequestDelay{0};  // before the answer to the read request
    Bytes data{};                     // served on a read request
    std::size_t framePayload = 1024;
    std::set<std::size_t> damaged{};  // served frames (by index) first sent with a wrong checksum
    std::optional<std::size_t> sequenceChangeAt{}; // served frames from this one on carry 0x0002
    std::optional<std::size_t> stallAt{};          // this served frame never leaves
    std::set<int> refuse{};           // data frame arrivals (from 0, resends counted) refused
    Bytes result{0x02, 0x36, 0x00};  // payload of the result frame
  };

  struct State {
    bool confirmed = false;           // the opening confirmation arrived
    Bytes stored;                     // payloads of the data frames taken, in order
    std::vector<Bytes> hostFrames;    // every whole frame the host sent
    int refused = 0;
    int damagedFromHost = 0;          // host frames with a wrong checksum, ignored
    bool resultAcknowledged = false;
  };

  void script(Script script);
  State state() const;

 private:
  friend class BackupExchange;
  mutable std::mutex mutex_;
  Script script_;
  State state_;
};

void installBackupDevice(Terminal& terminal);

}  // namespace movar::sim
