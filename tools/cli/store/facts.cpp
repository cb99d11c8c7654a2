#include "store/facts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "records/attendance_record.h"

namespace movar::cli::store {

namespace {

// The record's year is 2000 + 0..15, so every fourth year is a leap year.
bool possible(const records::AttendanceRecord& r) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (r.month < 1 || r.month > 12 || r.hour > 23 || r.minute > 59) return false;
  const int days = kDays[r.month - 1] + (r.month == 2 && r.year % 4 == 0 ? 1 : 0);
  return r.day >= 1 && r.day <= days;
}

}  // namespace

FileFacts factsOf(const std::vector<std::uint8_t>& bytes, const std::string& terminal,
                  std::optional<int> fixedMachine) {
  FileFacts out;
  const std::size_t whole = bytes.size() / records::kAttendanceRecordSize;
  out.strayBytes = bytes.size() % records::kAttendanceRecordSize;
  out.facts.reserve(whole);
  for (std::size_t i = 0; i < whole; ++i) {
    const auto r = records::AttendanceRecord::decode(bytes.data() + i * records::kAttendanceRecordSize);
    if (!possible(r)) {
      ++out.impossible;
      continue;
    }
    char when[24];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d", 2000 + r.year, r.month, r.day,
                  r.hour, r.minute);
    const int machine = fixedMachine ? *fixedMachine : static_cast<int>(r.machine({}));
    out.facts.push_back({terminal, r.person, when, machine});
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, std::string& error) {
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) {
    error = path + " is a directory";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  return bytes;
}

}  // namespace movar::cli::store
