#include "settings/answer_block.h"

namespace movar::settings {

std::optional<std::uint16_t> answerBlockValue(const std::uint8_t* b) {
  const bool valid = b[1] == 0x00 && b[2] == 0xFF - b[1] && b[3] == 0x02 && b[4] == 0xFF - b[3] &&
                     b[7] == ((b[5] + b[6]) & 0xFF);
  if (!valid) return std::nullopt;
  return static_cast<std::uint16_t>(b[5] << 8 | b[6]);
}

}  // namespace movar::settings
