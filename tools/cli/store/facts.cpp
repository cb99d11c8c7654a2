#include "store/facts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "calendar.h"
#include "records/attendance_record.h"

namespace movar::cli::store {

namespace {

bool possible(const records::AttendanceRecord& r) {
  return isRealDate(2000 + r.year, r.month, r.day) && isRealTime(r.hour, r.minute);
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
