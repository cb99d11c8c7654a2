// A terminal's side of the record block transfer for unit tests: builds the blocks, answers the
// host's 06/15/F9/18 and lets a test bend any sending of any block.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "download/block_transfer.h"
#include "fakes/fake_platform.h"

namespace movar::fake {

Bytes recordBytes(std::uint32_t first, std::uint32_t count);  // deterministic records
Bytes headerBlock(std::uint8_t kind, std::uint8_t high, std::uint8_t low);
Bytes headerFor(std::uint32_t records);  // kind 3 above 65535
Bytes recordBlock(std::uint8_t number, const Bytes& payload);
Bytes endBlock(std::uint8_t number, std::uint16_t transferSum);
std::uint8_t checkByte(const Bytes& block);  // a block's last byte

class BlockTerminal {
 public:
  using Reply = std::function<void(const Bytes&, Millis delay, Millis perByte)>;

  // Header, ceil(records / 28) record blocks, end block with the right transfer sum.
  explicit BlockTerminal(std::uint32_t records);

  std::vector<Bytes> blocks;  // [0] header, then record blocks, then the end block
  Millis delay = 1;           // from the host's answer to the first byte
  Millis perByte = 0;
  // May change what goes out for block i on its n-th sending (n from 0) and its delay.
  std::function<void(std::size_t i, int n, Bytes& bytes, Millis& delay)> fault;
  std::set<std::size_t> repeatAfterAck;  // sent once more after the host acknowledged it
  Bytes afterClose;                      // sent after the host's closing 0x15
  bool closeBefore(std::size_t i) const { return closeAt == i; }
  std::size_t closeAt = SIZE_MAX;        // LAN: the connection closes instead of block i
  std::function<void()> close;

  Bytes hostBytes;  // everything the host sent after the preamble
  Bytes payload() const;  // the records of all record blocks
  void onHost(const Bytes& bytes, const Reply& reply);

 private:
  void sendCurrent(const Reply& reply);
  std::size_t current_ = 0;
  bool started_ = false;
  bool done_ = false;
  std::map<std::size_t, int> sendings_;
};

// The terminal on a serial port, answering preambles with `address` at 57600.
std::shared_ptr<PreambleResponder> serialTerminal(const std::shared_ptr<BlockTerminal>& terminal,
                                                  std::uint8_t address = 1);

// The terminal on TCP: acknowledges one preamble with `ack`, then runs the transfer.
class LanTerminal final : public FakePeer {
 public:
  explicit LanTerminal(std::shared_ptr<BlockTerminal> terminal) : terminal_(std::move(terminal)) {}
  void onConnect(PeerLink&) override { preamble.clear(); }
  void onHostBytes(PeerLink& link, const Bytes& bytes) override;

  Bytes preamble;
  std::optional<std::uint8_t> ack = 0x06;
  std::vector<std::uint8_t> commands;

 private:
  std::shared_ptr<BlockTerminal> terminal_;
};

// Keeps what the transfer stores and the progress positions it reports.
struct MemorySink final : download::TransferSink {
  Bytes stored;
  std::vector<int> positions;
  bool failWrites = false;
  bool store(const std::uint8_t* p, std::size_t n) override {
    if (failWrites) return false;
    stored.insert(stored.end(), p, p + n);
    return true;
  }
  void progress(std::uint64_t b, std::uint64_t n) override {
    positions.push_back(static_cast<int>(b * 100 / n));
  }
};

}  // namespace movar::fake
