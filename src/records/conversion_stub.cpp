// Temporary stand-in until the conversions land: checks that the record file opens and the text
// file can be created, nothing more.
#include <string>

#include "records/conversion.h"

namespace movar::records {

namespace {
std::int32_t touch(Platform& platform, const std::string& stem) {
  const std::string directory = platform.files.recordDirectory();
  if (!platform.files.openRead(directory + stem + ".dat")) return -1;
  return platform.files.create(directory + stem + ".txt") ? 0 : -1;
}
}  // namespace

std::int32_t ConvertAfterDownload(Platform& platform) { return touch(platform, "movar"); }
std::int32_t ConvertNumberedDownload(Platform& platform, std::int32_t n) {
  return touch(platform, "movar" + std::to_string(n));
}
std::int32_t ConvertAddressDownload(Platform& platform, std::int32_t) { return touch(platform, "movar"); }

}  // namespace movar::records
