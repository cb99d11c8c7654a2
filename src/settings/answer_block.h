// The terminal's 8-byte answer to a query: byte 0 free, block number 0x00 and its complement,
// data length 0x02 and its complement, the value high byte first, the sum of the two value bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace movar::settings {

constexpr std::size_t kAnswerBlockSize = 8;

// The value, or nothing when any check fails. No I/O: fed straight from the line or a fuzzer.
std::optional<std::uint16_t> answerBlockValue(const std::uint8_t* block);

}  // namespace movar::settings
