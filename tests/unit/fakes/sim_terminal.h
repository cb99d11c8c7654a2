// The simulator's terminal on the fake platform: the same terminal the integration tests reach
// over ptys and TCP, answering here in virtual time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "live_records.h"
#include "record_memory.h"
#include "terminal.h"

namespace movar::fake {

// What the line does to the terminal's sends from byte `afterBytes` on (over all sessions): cut
// there and then closed (TCP; silence on a serial line), silent, or replaced by a flood.
struct LineFault {
  enum class Kind { None, Close, Silence, Flood };
  Kind kind = Kind::None;
  std::size_t afterBytes = 0;
};

// A terminal with the standard commands. Every open of a port it is attached to, and every
// connection to its address, is a new session; its sends reach the host at virtual times.
class SimTerminal {
 public:
  explicit SimTerminal(sim::TerminalConfig config = {});
  SimTerminal(const SimTerminal&) = delete;
  SimTerminal& operator=(const SimTerminal&) = delete;

  SimTerminal& on(FakeSerialPorts& serial, int port);
  SimTerminal& on(FakeNetwork& network, const std::string& ip);

  sim::Terminal terminal;
  sim::RecordMemory& memory;
  sim::LiveRecords& live;

  LineFault lineFault;
  // Every send that left the terminal, as the terminal meant it, before any line fault.
  std::vector<Bytes> sends;
  std::size_t sentBytes = 0;

  // What the host sent after the first `skip` bytes, over all sessions.
  Bytes received(std::size_t skip = 0) const;
};

}  // namespace movar::fake
