// Attendance facts from the bytes of a record file (6 bytes a record).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/store.h"

namespace movar::cli::store {

struct FileFacts {
  std::vector<Fact> facts;
  std::size_t impossible = 0;  // records whose date or time cannot be real: never stored
  std::size_t strayBytes = 0;  // a tail shorter than one record
};

// `fixedMachine`: the number a download marked every record with (as-machine downloads).
FileFacts factsOf(const std::vector<std::uint8_t>& bytes, const std::string& terminal,
                  std::optional<int> fixedMachine = std::nullopt);

// The whole file, or nothing with `error` set to the cause.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, std::string& error);

}  // namespace movar::cli::store
