#include "serve/backup_care.h"

#include <filesystem>

#include "store/import.h"

namespace movar::serve {

namespace fs = std::filesystem;

BackupCare tidyBackups(const std::string& folder, const std::string& terminal, std::optional<int> keepDays,
                       store::Store& store) {
  BackupCare care;
  const fs::path backups = fs::path(folder) / "downbak";
  std::error_code error;
  if (!fs::is_directory(backups, error)) return care;
  const auto oldest = fs::file_time_type::clock::now() - std::chrono::hours(24) * keepDays.value_or(0);
  for (const fs::directory_entry& entry : fs::directory_iterator(backups, error)) {
    std::error_code e;
    if (!entry.is_regular_file(e)) continue;
    const fs::path path = entry.path();
    const std::string ext = path.extension().string();
    if (ext != ".dat" && ext != ".txt") continue;
    if (entry.file_size(e) == 0 && !e) {
      if (fs::remove(path, e)) ++care.empty;
      continue;
    }
    if (!keepDays || ext != ".dat" || entry.last_write_time(e) >= oldest || e) continue;
    const std::vector<store::ImportedFile> imported = store::importFiles(store, {{path.string(), ""}}, terminal);
    if (imported.size() != 1 || !imported.front().error.empty()) {
      care.problem = path.string() + " kept: " + (imported.empty() ? "not read" : imported.front().error);
      continue;
    }
    // Its text twin goes with it: the .dat is the record, the .txt only its conversion.
    fs::path twin = path;
    twin.replace_extension(".txt");
    fs::remove(twin, e);
    if (fs::remove(path, e)) ++care.pruned;
  }
  return care;
}

}  // namespace movar::serve
