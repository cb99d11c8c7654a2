// People punching in while the simulator runs: new records in a terminal's memory over time, so
// that successive downloads collect something new.
#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

#include "record_memory.h"

namespace movar::sim {

// "10/min", "2/s", "30/h": the time between punches; none for anything else.
std::optional<std::chrono::nanoseconds> punchInterval(const std::string& rate);

// Punch number `n` on `memory`, stamped `at` (local time): the person and machine number of one
// of `people` (the records the terminal started with), taken in turn; person n + 1 of machine 0
// when it started with none.
void punch(RecordMemory& memory, const Bytes& people, std::uint64_t n, const std::tm& at);

}  // namespace movar::sim
