// The command preamble, the acknowledgement wait, the serial attempt policy and the DataBlock.
#pragma once

#include <cstdint>
#include <optional>

#include "link/grouping.h"
#include "link/serial_port.h"
#include "platform/platform.h"

namespace movar::link {

namespace control {
constexpr std::uint8_t Ack = 0x06;
constexpr std::uint8_t Nak = 0x15;  // start request, refusal, DataBlock start, "closed"
constexpr std::uint8_t Cancel = 0x18;
constexpr std::uint8_t Resend = 0xF9;
}  // namespace control

constexpr std::size_t kPreambleSize = 14;
constexpr std::uint8_t kLanAddress = 0xFA;

Bytes commandPreamble(std::uint8_t address, std::uint8_t command);

// Header in one write, then address, its complement, command, its complement one by one.
// `pauseAfterHeader` is for the modem line.
void writePreamble(Clock& clock, SerialLine& line, std::uint8_t address, std::uint8_t command,
                   Millis pauseAfterHeader = 0);

void writeByte(SerialLine& line, std::uint8_t byte);

void writeGrouped(SerialLine& line, const Bytes& bytes, Grouping grouping);

// Reads one byte at a time until one arrives or more than `limit` ms have passed; at least one
// read is made.
std::optional<std::uint8_t> awaitByte(Clock& clock, SerialLine& line, Millis limit);

struct FoundTerminal {
  SerialPort line;
  int port = 0;
};

// How a serial export looks for its terminal: `attempts` preambles at most, each on a port opened
// with `open` (the attempt number is its argument, so OpenSerialPort alternates 57600 and 19200),
// each awaited for more than `ackLimit`; ports step after every second attempt.
struct SearchPolicy {
  OpenRoutine open = OpenRoutine::Serial;
  int attempts = 9;
  Millis ackLimit = 1'000;
  Millis pauseAfterHeader = 0;  // the modem line's pause inside the preamble
  Millis holdAfterFailure = 0;  // after the last failed attempt, with its port still open
  // Every attempt on the start port, which must open: a command meant for the terminal that
  // answered there (the erase after its download) never reaches one on another port.
  bool onePort = false;
};

// The policy of the serial command exports: nine attempts with OpenSerialPort.
constexpr SearchPolicy serialSearch(Millis ackLimit) {
  return {OpenRoutine::Serial, 9, ackLimit, 0, 0, false};
}

// Ports that fail to open are stepped over uncounted; the search gives up once every port of the
// 1..4 cycle has failed to open in a row.
std::optional<FoundTerminal> findTerminal(Platform& platform, std::uint8_t address,
                                          std::uint8_t command, const SearchPolicy& policy,
                                          int startPort);

// 0x15 0x01 N ~N payload sum(payload).
Bytes dataBlock(const Bytes& payload);

// _TESTCOM: the port at which the terminal acknowledged, or -1.
std::int32_t testCom(Platform& platform, std::int32_t address, std::int32_t port);

inline std::uint8_t lowByte(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
inline std::uint8_t complement(std::uint8_t value) { return static_cast<std::uint8_t>(0xFF - value); }

}  // namespace movar::link
