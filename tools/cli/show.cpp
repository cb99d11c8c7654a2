#include "show.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "records/attendance_record.h"
#include "records/transaction_record.h"
#include "report.h"

namespace movar::cli {

namespace {

void showAttendance(const std::vector<std::uint8_t>& bytes, bool json) {
  using records::AttendanceRecord;
  for (std::size_t at = 0; at + records::kAttendanceRecordSize <= bytes.size();
       at += records::kAttendanceRecordSize) {
    const AttendanceRecord r = AttendanceRecord::decode(bytes.data() + at);
    const unsigned machine = r.machine({});
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d", 2000 + r.year, r.month, r.day,
                  r.hour, r.minute);
    if (json) {
      std::printf("%s\n", JsonLine()
                              .number("person", r.person)
                              .text("time", when)
                              .number("machine", machine)
                              .str()
                              .c_str());
    } else {
      std::printf("person %5u  %s  machine %u\n", static_cast<unsigned>(r.person), when, machine);
    }
  }
}

void showTransactions(const std::vector<std::uint8_t>& bytes, bool json) {
  using records::TransactionRecord;
  for (std::size_t at = 0; at + records::kTransactionRecordSize <= bytes.size();
       at += records::kTransactionRecordSize) {
    const TransactionRecord r = TransactionRecord::decode(bytes.data() + at);
    if (!r.valid()) continue;
    char line[64];
    records::writeTransactionLine(r, line);
    const std::string text(line);  // the line's own zero byte ends it
    if (json) {
      char when[32];
      std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", 2000 + r.year, r.month,
                    r.day, r.hour, r.minute, r.second);
      std::printf("%s\n", JsonLine()
                              .text("time", when)
                              .number("card", r.card)
                              .text("sign", std::string(1, r.sign()))
                              .number("amount", r.amount())
                              .number("machine", r.machine)
                              .text("line", text)
                              .str()
                              .c_str());
    } else {
      std::printf("%s\n", text.c_str());
    }
  }
}

}  // namespace

int showFile(const std::string& path, bool transactions, bool json) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "movar: can not open %s\n", path.c_str());
    return 1;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  if (transactions) {
    showTransactions(bytes, json);
  } else {
    showAttendance(bytes, json);
  }
  return 0;
}

}  // namespace movar::cli
