#include "records/backups.h"

#include "link/failure.h"
#include "records/decimal.h"

namespace movar::records {

namespace {

// A taken final name is retried with a fresh stamp this many times, ~1 s apart.
constexpr int kStampAttempts = 5;
constexpr Millis kStampPoll = 100;
constexpr int kPollsPerSecond = 11;

void waitForNextStamp(Clock& clock, const std::string& stamp) {
  for (int i = 0; i < kPollsPerSecond && backupStamp(clock.localTime()) == stamp; ++i) {
    clock.sleep(kStampPoll);
  }
}

bool isDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::string backupStamp(const LocalTime& t) {
  auto two = [](int v) { return decimal(static_cast<std::uint32_t>(v), 2); };
  return two(t.month) + two(t.day) + two(t.hour) + two(t.minute) + two(t.second);
}

std::string backupName(const std::string& stamp, unsigned machine, std::string_view extension) {
  std::string name = "k" + stamp + "_" + decimal(machine, 2) + ".";
  name += extension;
  return name;
}

bool looksLikeBackupName(std::string_view name) {
  const auto dot = name.rfind('.');
  const std::string_view stem = name.substr(0, dot);
  if (stem.size() < 14 || (stem[0] != 'k' && stem[0] != 'K') || stem[11] != '_') return false;
  return isDigits(stem.substr(1, 10)) && isDigits(stem.substr(12));
}

std::optional<std::string> makeBackup(Platform& platform, const BackupCopy& copy) {
  Files& files = platform.files;
  const std::string intermediate = copy.directory + copy.intermediate;
  // A leftover is stale by definition, unless the intermediate name is itself a backup's name
  // (a caller's file named like one): existing backups are never removed.
  if (files.exists(intermediate)) {
    if (looksLikeBackupName(copy.intermediate)) {
      recordFailure(FailureKind::File, "cannot back up " + copy.source + ": " + intermediate +
                                           " is in the way");
      return std::nullopt;
    }
    if (!files.remove(intermediate)) {
      recordFileFailure(files, "remove", intermediate);
      return std::nullopt;
    }
  }
  if (!files.copyNoOverwrite(copy.source, intermediate)) {
    recordFileFailure(files, "copy " + copy.source + " to", intermediate);
    files.remove(intermediate);  // a partial copy of ours, if any
    return std::nullopt;
  }
  for (int attempt = 0; attempt < kStampAttempts; ++attempt) {
    const std::string stamp = backupStamp(platform.clock.localTime());
    const std::string target = copy.directory + backupName(stamp, copy.machine, copy.extension);
    if (files.move(intermediate, target)) return target;
    if (!files.exists(target)) {
      recordFileFailure(files, "move " + intermediate + " to", target);
      files.remove(intermediate);
      return std::nullopt;
    }
    waitForNextStamp(platform.clock, stamp);
  }
  recordFailure(FailureKind::File, "cannot back up " + copy.source + ": every backup name of the "
                                   "last " + std::to_string(kStampAttempts) + " seconds is taken");
  files.remove(intermediate);
  return std::nullopt;
}

std::string ensureBackupDirectory(Platform& platform, const std::string& directory) {
  const std::string path = directory + kBackupDirectoryName;
  if (!platform.files.isDirectory(path)) platform.files.makeDirectory(path);
  return path + platform.files.separator();
}

}  // namespace movar::records
