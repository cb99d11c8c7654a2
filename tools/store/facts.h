// Attendance facts from the bytes of a record file (6 bytes a record).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/store.h"

namespace movar::store {

struct FileFacts {
  std::vector<Fact> facts;
  std::size_t impossible = 0;  // records whose date or time cannot be real: never stored
  std::size_t strayBytes = 0;  // a tail shorter than one record
};

// `fixedMachine`: the number a download marked every record with (as-machine downloads).
FileFacts factsOf(const std::vector<std::uint8_t>& bytes, const std::string& terminal,
                  std::optional<int> fixedMachine = std::nullopt);

// The facts of `count` whole records at `bytes`, added to `out` (a file read a piece at a time).
void addFacts(const std::uint8_t* bytes, std::size_t count, const std::string& terminal,
              std::optional<int> fixedMachine, FileFacts& out);

}  // namespace movar::store
