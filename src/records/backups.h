// Dated copies in the backup directory: k<MMDDhhmmss>_<NN>.txt / .dat.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace movar::records {

inline constexpr const char* kBackupDirectoryName = "downbak";

// MMDDhhmmss of the local clock; the year is not part of it.
std::string backupStamp(const LocalTime& time);
// k<stamp>_<NN>.<extension>; NN is the machine number, at least two digits.
std::string backupName(const std::string& stamp, unsigned machine, std::string_view extension);
// True for names of the k<10 digits>_<2+ digits>.<ext> form.
bool looksLikeBackupName(std::string_view fileName);

struct BackupCopy {
  std::string source;        // full path of the file just written or converted
  std::string directory;     // the backup directory, ending in the separator
  std::string intermediate;  // fixed intermediate name inside `directory`
  std::string extension;     // "txt" or "dat"
  unsigned machine = 0;      // NN
};

// Copies `source` through the intermediate name to its dated name. The backup always holds the
// file just written: a leftover intermediate file from an interrupted run is removed first (never
// renamed into a backup), and an existing backup is never replaced (a taken name waits for the
// next second's stamp). Returns the backup's path; a failure leaves no intermediate file behind
// and records which file and why in the failure account.
std::optional<std::string> makeBackup(Platform& platform, const BackupCopy& copy);

// Creates the backup directory below `directory` when missing; returns its path with separator.
std::string ensureBackupDirectory(Platform& platform, const std::string& directory);

}  // namespace movar::records
