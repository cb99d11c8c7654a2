// One TCP connection to a terminal at port 1024, with its 2048-byte receive area.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "link/grouping.h"
#include "platform/platform.h"

namespace movar::link {

constexpr std::uint16_t kTerminalTcpPort = 1024;
// Inactivity limit of a receive when the exchange names no longer working time of its own.
constexpr Millis kDefaultReceiveLimit = 10'000;

// The address texts that may reach the socket layer (also the command line's check of --ip).
bool isDottedDecimal(const char* text);

class NetLink {
 public:
  static constexpr std::size_t kAreaSize = 2048;

  // Fails with the step that failed; `connectFailed()` on the result tells a socket was made.
  static NetLink open(Platform& platform, const char* ipv4Text);

  bool isOpen() const { return stream_ != nullptr; }
  ConnectError error() const { return error_; }

  // One send; the count handed over, or -1.
  long send(const std::uint8_t* data, std::size_t n);
  long send(const Bytes& bytes) { return send(bytes.data(), bytes.size()); }
  long sendByte(std::uint8_t byte) { return send(&byte, 1); }
  // True when every byte went out, in one send or one send per byte.
  bool send(const Bytes& bytes, Grouping grouping);
  // The 14-byte preamble in one send; true when all 14 went out.
  bool sendPreamble(std::uint8_t address, std::uint8_t command);
  // Receives a new frame and requires its first byte to be 0x06 (the answer to a preamble or a
  // DataBlock); whatever else arrived with it stays in the area. A failure is recorded, as are
  // those of every send and receive below.
  bool awaitAck(Millis limit = kDefaultReceiveLimit);

  // Receive a new frame from offset 0 until at least m bytes are in. False on a closed or failed
  // connection, on `limit` ms without a byte, or when m does not fit the area.
  bool receiveFrame(std::size_t m, Millis limit = kDefaultReceiveLimit);
  // Continue the current frame until at least m bytes are in.
  bool receiveMore(std::size_t m, Millis limit = kDefaultReceiveLimit);

  const std::uint8_t* data() const { return area_->data(); }
  std::uint8_t operator[](std::size_t i) const { return (*area_)[i]; }
  std::size_t count() const { return count_; }

  // Closing is the destructor's job; this makes it explicit where an exchange pauses after it.
  void close() { stream_.reset(); }

 private:
  NetLink() = default;
  // Failures name the terminal: "10.0.0.5:1024".
  void recordReceiveFailure(ReceiveStatus status, Millis limit) const;

  std::unique_ptr<NetStream> stream_;
  std::unique_ptr<std::array<std::uint8_t, kAreaSize>> area_;
  std::string peer_;
  std::size_t count_ = 0;
  ConnectError error_ = ConnectError::None;
};

}  // namespace movar::link
