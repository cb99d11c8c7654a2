#include <gtest/gtest.h>

#include <string>

#include "records/attendance_record.h"
#include "records/backups.h"
#include "records/decimal.h"
#include "records/name_list.h"
#include "records/transaction_record.h"

namespace movar::records {
namespace {

std::string attendanceLine(const Bytes& bytes, MachineSource source = {}) {
  const AttendanceRecord r = AttendanceRecord::decode(bytes.data());
  char out[32];
  return std::string(out, writeAttendanceLine(r, r.machine(source), out));
}

// Year nibble, month, flags|day, machine bits|hour, machine bits|minute for low part `low`.
Bytes attendance(std::uint16_t person, int year, int month, int flagsDay, int hour, int minute,
                 int low) {
  return {static_cast<std::uint8_t>(person >> 8), static_cast<std::uint8_t>(person & 0xFF),
          static_cast<std::uint8_t>(year << 4 | month), static_cast<std::uint8_t>(flagsDay),
          static_cast<std::uint8_t>((low >> 2) << 5 | hour),
          static_cast<std::uint8_t>((low & 3) << 6 | minute)};
}

TEST(DecimalField, PadsToWidthAndNeverCuts) {
  EXPECT_EQ(decimal(5, 2), "05");
  EXPECT_EQ(decimal(123, 2), "123");
  EXPECT_EQ(decimal(0, 0), "0");
  EXPECT_EQ(decimal(4, 0), "4");
  EXPECT_EQ(decimal(123, 6), "000123");
  EXPECT_EQ(decimal(4294967295u, 10), "4294967295");
}

TEST(AttendanceLine, ExamplesAndCut) {
  EXPECT_EQ(attendanceLine(attendance(123, 9, 3, 14, 8, 5, 7)), "00012308:052009031407\r\n");
  EXPECT_EQ(attendanceLine({0, 0, 0x01, 0x01, 0, 0}), "00000000:002000010100\r\n");
  // Ranges are not checked: a month of 13 and the largest bit values show as they are.
  EXPECT_EQ(attendanceLine(attendance(65535, 15, 13, 63, 31, 63, 31)), "06553531:632015136331\r\n");
  // Machine 121 (31 + 60 + 30 by adding) makes 22 characters; only 21 are kept.
  EXPECT_EQ(attendanceLine(attendance(1, 9, 3, 0xC0 | 14, 8, 5, 31), {MachineRule::Adding}),
            "00000108:052009031412\r\n");
  EXPECT_EQ(attendanceLine(attendance(1, 9, 3, 14, 8, 5, 0), {MachineRule::Fixed, 200}),
            "00000108:052009031420\r\n");
}

TEST(AttendanceRecord, PageFlagsBySixtyFirstAddingAndFixed) {
  const AttendanceRecord r = AttendanceRecord::decode(attendance(1, 9, 3, 0xC5, 8, 5, 2).data());
  EXPECT_EQ(r.day, 5);
  EXPECT_EQ(r.machineLow, 2);
  EXPECT_EQ(r.machine({MachineRule::SixtyFirst}), 62u);
  EXPECT_EQ(r.machine({MachineRule::Adding}), 92u);
  EXPECT_EQ(r.machine({MachineRule::Fixed, 7}), 7u);
  const AttendanceRecord only30 = AttendanceRecord::decode(attendance(1, 9, 3, 0x45, 8, 5, 2).data());
  EXPECT_EQ(only30.machine({MachineRule::SixtyFirst}), 32u);
  EXPECT_EQ(only30.machine({MachineRule::Adding}), 32u);
  const AttendanceRecord only60 = AttendanceRecord::decode(attendance(1, 9, 3, 0x85, 8, 5, 2).data());
  EXPECT_EQ(only60.machine({MachineRule::SixtyFirst}), 62u);
  EXPECT_EQ(only60.machine({MachineRule::Adding}), 62u);
}

Bytes transaction(std::uint8_t b11, std::uint8_t b12, std::uint8_t b13, std::uint8_t b14) {
  return {9, 3, 14, 8, 5, 30, 4, 0x00, 0x01, 0xE2, 0x40, b11, b12, b13, b14, 0x00, 0x07};
}

std::string transactionLine(const Bytes& bytes) {
  char out[64];
  return std::string(out, writeTransactionLine(TransactionRecord::decode(bytes.data()), out));
}

TEST(TransactionLine, QuantitySignAndAmount) {
  using namespace std::string_literals;
  EXPECT_EQ(transactionLine(transaction(0xAB, 3, 0, 250)),
            "4 0000123456 003 +000750 20090314 08:05:30 007\0\r\n"s);
  EXPECT_EQ(transactionLine(transaction(0x2D, 0, 1, 2)),
            "4 0000123456 000 -000258 20090314 08:05:30 007\0\r\n"s);
  // Exactly 128: quantity times unit amount, but the quantity column shows "000".
  EXPECT_EQ(transactionLine(transaction(0x80, 3, 0, 250)),
            "4 0000123456 000 -000750 20090314 08:05:30 007\0\r\n"s);
  EXPECT_EQ(transactionLine(transaction(0x2B, 0x0F, 0x42, 0x40)),  // 1000000: one digit wider
            "4 0000123456 000 +1000000 20090314 08:05:30 007\r\n"s);
}

TEST(TransactionRecord, ValidityTest) {
  EXPECT_TRUE(TransactionRecord::decode(transaction(0x2B, 0, 0, 1).data()).valid());
  auto with = [](std::size_t at, std::uint8_t value) {
    Bytes b = transaction(0x2B, 0, 0, 1);
    b[at] = value;
    return TransactionRecord::decode(b.data()).valid();
  };
  EXPECT_FALSE(with(0, 15));
  EXPECT_FALSE(with(0, 0));
  EXPECT_TRUE(with(0, 14));
  EXPECT_FALSE(with(1, 13));
  EXPECT_FALSE(with(2, 0));
  EXPECT_FALSE(with(2, 32));
  EXPECT_TRUE(with(3, 24));
  EXPECT_FALSE(with(3, 25));
  EXPECT_TRUE(with(4, 60));
  EXPECT_FALSE(with(5, 61));
  EXPECT_FALSE(with(6, 5));
  Bytes noCard = transaction(0x2B, 0, 0, 1);
  noCard[7] = noCard[8] = noCard[9] = noCard[10] = 0;
  EXPECT_FALSE(TransactionRecord::decode(noCard.data()).valid());
}

TEST(NameRecord, PaddingCuttingAndNumber) {
  EXPECT_EQ(nameRecord(0x0102, "abc"),
            (NameRecord{0x01, 0x02, 'a', 'b', 'c', 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(nameRecord(7, "ABCDEFGHIJKL"),
            (NameRecord{0x00, 0x07, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
  EXPECT_EQ(nameRecord(7, std::string_view("ab\0cd", 5)),
            (NameRecord{0x00, 0x07, 'a', 'b', 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(nameRecord(static_cast<std::uint16_t>(0x12345 & 0xFFFF), "")[0], 0x23);
  EXPECT_EQ(nameRecord(static_cast<std::uint16_t>(0x12345 & 0xFFFF), "")[1], 0x45);
  EXPECT_EQ(nameListFileName({2009, 3, 4, 0, 0, 0}), "NAM0304.dat");
}

TEST(BackupNames, StampAndMachineNumber) {
  const std::string stamp = backupStamp({2009, 3, 14, 8, 15, 30});
  EXPECT_EQ(stamp, "0314081530");
  EXPECT_EQ(backupName(stamp, 7, "txt"), "k0314081530_07.txt");
  EXPECT_EQ(backupName(stamp, 0, "dat"), "k0314081530_00.dat");
  EXPECT_EQ(backupName(stamp, 121, "txt"), "k0314081530_121.txt");
  EXPECT_TRUE(looksLikeBackupName("k0314081530_07.txt"));
  EXPECT_FALSE(looksLikeBackupName("k.txt"));
  EXPECT_FALSE(looksLikeBackupName("day1.txt"));
}

}  // namespace
}  // namespace movar::records
