// The simulator's terminal on the fake platform: the same terminal the integration tests reach
// over ptys and TCP, answering here in virtual time.
#pragma once

#include <memory>
#include <string>

#include "fakes/fake_platform.h"
#include "live_records.h"
#include "record_memory.h"
#include "terminal.h"

namespace movar::fake {

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

  // What the host sent after the first `skip` bytes, over all sessions.
  Bytes received(std::size_t skip = 0) const;
};

}  // namespace movar::fake
