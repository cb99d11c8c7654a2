#include "records/name_list.h"

#include <algorithm>
#include <memory>

#include "link/failure.h"
#include "records/caller_paths.h"
#include "records/decimal.h"

namespace movar::records {

namespace {

constexpr Millis kSettle = 300;
constexpr Millis kRetryDelay = 100;
constexpr int kOpenAttempts = 5;
constexpr int kCreateAttempts = 15;
constexpr std::size_t kNameBytes = 8;

std::unique_ptr<File> openList(Platform& platform, const std::string& path) {
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    if (auto file = platform.files.openReadWrite(path)) return file;
    if (attempt < kOpenAttempts) platform.clock.sleep(kRetryDelay);
  }
  // Opened or created, never truncated: a list that exists but stayed busy through the opens
  // keeps its earlier records.
  for (int attempt = 1; attempt <= kCreateAttempts; ++attempt) {
    if (auto file = platform.files.openOrCreate(path)) return file;
    recordFileFailure(platform.files, "open or create", path);
    platform.ui.messageBox("can not creat file!");
    if (attempt < kCreateAttempts) platform.clock.sleep(kRetryDelay);
  }
  return nullptr;
}

}  // namespace

NameRecord nameRecord(std::uint16_t person, std::string_view name) {
  NameRecord record;
  record.fill(0xFF);
  record[0] = static_cast<std::uint8_t>(person >> 8);
  record[1] = static_cast<std::uint8_t>(person & 0xFF);
  const std::string_view text = name.substr(0, std::min(name.find('\0'), kNameBytes));
  std::copy(text.begin(), text.end(), record.begin() + 2);
  return record;
}

std::string nameListFileName(const LocalTime& today) {
  return "NAM" + decimal(static_cast<std::uint32_t>(today.month), 2) +
         decimal(static_cast<std::uint32_t>(today.day), 2) + ".dat";
}

std::int32_t copyName(Platform& platform, const char* dir, std::int32_t number,
                      std::string_view name) {
  const std::string fileName = nameListFileName(platform.clock.localTime());
  const auto directory = callerDirectory(platform, dir, fileName.size());
  if (!directory) return 1;
  const std::string path = *directory + fileName;
  platform.clock.sleep(kSettle);
  const auto file = openList(platform, path);
  if (!file) return 1;
  file->seekEnd();
  const NameRecord record = nameRecord(static_cast<std::uint16_t>(number & 0xFFFF), name);
  if (file->write(record.data(), record.size())) return 0;
  recordFileFailure(platform.files, "write", path);
  return 1;
}

}  // namespace movar::records
