// The 17-byte transaction record and its 47-byte text line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace movar::records {

constexpr std::size_t kTransactionRecordSize = 17;
constexpr std::size_t kTransactionTextSize = 47;  // 46 characters and a zero byte
constexpr std::size_t kTransactionLineSize = kTransactionTextSize + 2;

struct TransactionRecord {
  std::uint8_t year = 0;  // minus 2000
  std::uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::uint8_t type = 0;
  std::uint32_t card = 0;
  std::uint8_t signByte = 0;  // byte 11
  std::uint8_t quantityByte = 0;
  std::uint32_t amountField = 0;  // bytes 12-14 as one 24-bit number
  std::uint16_t machine = 0;

  static TransactionRecord decode(const std::uint8_t* bytes);
  // Only valid records get a line; the others are skipped silently.
  bool valid() const;
  bool byQuantity() const { return signByte >= 128; }
  std::uint32_t amount() const;
  // The quantity column shows byte 12 only when byte 11 is above 128 (128 itself shows "000").
  std::uint32_t shownQuantity() const { return signByte > 128 ? quantityByte : 0u; }
  char sign() const { return (signByte & 0x7F) == 0x2B ? '+' : '-'; }
};

// Writes the line with its CR LF at `out` (room for 64 bytes); returns 49. Fields that came out
// wider push the zero byte past the 47 kept bytes.
std::size_t writeTransactionLine(const TransactionRecord& record, char* out);

}  // namespace movar::records
