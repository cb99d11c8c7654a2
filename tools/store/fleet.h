// The fleet: the terminals a store's collectors share, and who holds each. A collector claims a
// due terminal with a lease (skipping rows another collector has locked), renews the lease while
// its download runs and releases it when the download has ended; a lease that lapses (the
// collector died) frees the terminal for the next claim. Times are the database's clock, so that
// collectors on machines whose clocks differ still agree on when a lease ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/store.h"

namespace movar::store {

struct FleetTerminal {
  std::string terminal;  // the store's name for it: "10.0.0.5", "COM1:7"
  std::string name;      // as the site calls it
  std::optional<std::int64_t> capacity;
  std::string clock = "never";
  std::string host;  // a serial terminal's: the host whose port it is on; empty over TCP
  // As the store holds it (read back, never written by add):
  std::string holder;      // the collector holding its lease now; empty when none
  std::string lastHolder;  // the collector that last collected it
  std::int64_t due = 0;    // seconds since the epoch at which it is due next
  std::int64_t leaseUntil = 0;
};

struct Claim {
  std::string collector;  // who claims: "HOST/PID"
  std::string host;       // this machine: only its own serial terminals are claimed
  std::optional<std::vector<std::string>> only;  // by terminal; none = the whole fleet
  std::int64_t leaseSeconds = 120;
  std::int64_t everySeconds = 600;  // the claim makes it due again this long after now
};

// Added, or their name, capacity, clock and host brought up to date; a new one is due at once.
// Returns the serial terminals left alone because the fleet has one of that name on another host.
std::vector<std::string> addTerminals(Store& store, const std::vector<FleetTerminal>& terminals);
// By its store name or its name; false when no such terminal.
bool removeTerminal(Store& store, const std::string& terminalOrName);
std::vector<FleetTerminal> fleet(Store& store);  // by terminal
// The due terminal that has waited longest and no one holds, now leased to `claim.collector`.
std::optional<FleetTerminal> claimOne(Store& store, const Claim& claim);
// Every lease the collector holds runs `leaseSeconds` from now; how many it holds.
std::int64_t renewLeases(Store& store, const std::string& collector, std::int64_t leaseSeconds);
// The lease ends; the terminal keeps the collector as its last one. A lease that another
// collector took over meanwhile is left alone.
void releaseLease(Store& store, const std::string& terminal, const std::string& collector);

// "HOST/PID": this process as a collector.
std::string thisCollector();
std::string thisHost();

}  // namespace movar::store
