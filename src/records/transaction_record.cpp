#include "records/transaction_record.h"

#include "records/decimal.h"

namespace movar::records {

TransactionRecord TransactionRecord::decode(const std::uint8_t* b) {
  TransactionRecord r;
  r.year = b[0];
  r.month = b[1];
  r.day = b[2];
  r.hour = b[3];
  r.minute = b[4];
  r.second = b[5];
  r.type = b[6];
  r.card = std::uint32_t{b[7]} << 24 | std::uint32_t{b[8]} << 16 | std::uint32_t{b[9]} << 8 | b[10];
  r.signByte = b[11];
  r.quantityByte = b[12];
  r.amountField = std::uint32_t{b[12]} << 16 | std::uint32_t{b[13]} << 8 | b[14];
  r.machine = static_cast<std::uint16_t>(b[15] << 8 | b[16]);
  return r;
}

bool TransactionRecord::valid() const {
  return year != 0 && year <= 14 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
         hour <= 24 && minute <= 60 && second <= 60 && type == 4 && card != 0;
}

std::uint32_t TransactionRecord::amount() const {
  if (!byQuantity()) return amountField;
  return std::uint32_t{quantityByte} * (amountField & 0xFFFF);
}

std::size_t writeTransactionLine(const TransactionRecord& r, char* out) {
  char* p = out;
  p += writeDecimal(p, r.type, 0);
  *p++ = ' ';
  p += writeDecimal(p, r.card, 10);
  *p++ = ' ';
  p += writeDecimal(p, r.shownQuantity(), 3);
  *p++ = ' ';
  *p++ = r.sign();
  p += writeDecimal(p, r.amount(), 6);
  *p++ = ' ';
  p += writeDecimal(p, 2000u + r.year, 4);
  p += writeDecimal(p, r.month, 2);
  p += writeDecimal(p, r.day, 2);
  *p++ = ' ';
  p += writeDecimal(p, r.hour, 2);
  *p++ = ':';
  p += writeDecimal(p, r.minute, 2);
  *p++ = ':';
  p += writeDecimal(p, r.second, 2);
  *p++ = ' ';
  p += writeDecimal(p, r.machine, 3);
  *p = '\0';
  out[kTransactionTextSize] = '\r';
  out[kTransactionTextSize + 1] = '\n';
  return kTransactionLineSize;
}

}  // namespace movar::records
