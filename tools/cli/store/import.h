// `movar store import`: record files into the store, for sites that kept files until now and as
// the recovery path after a crash. Importing the same files again adds nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/store.h"

namespace movar::cli::store {

struct ImportedFile {
  std::string path, terminal;
  std::size_t records = 0, added = 0, impossible = 0;
  std::string error;  // empty when the file was read and stored
};

// The record files named by `paths`: files as given; folders searched through for movar*.dat and
// downbak/*.dat. A file's terminal is `terminal` when given, else the name of the folder that
// holds it (above downbak/): what `collect` names a terminal's folder.
std::vector<std::string> recordFilesOf(const std::vector<std::string>& paths, std::string& error);
std::vector<ImportedFile> importFiles(Store& store, const std::vector<std::string>& files,
                                      const std::optional<std::string>& terminal);

}  // namespace movar::cli::store
