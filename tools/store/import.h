// `movar store import`: record files into the store, for sites that kept files until now and as
// the recovery path after a crash. Importing the same files again adds nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/store.h"

namespace movar::store {

struct FoundFile {
  std::string path;
  // Why it is not read, when it is not: a folder that cannot be searched, a link out of the
  // folder searched.
  std::string problem;
};

struct ImportedFile {
  std::string path, terminal;
  std::size_t records = 0, added = 0, impossible = 0;
  std::string error;  // empty when the file was read and stored
};

// The record files named by `paths`: files as given (one not ending in .dat is said as a FoundFile
// with its problem); folders searched through for movar*.dat and downbak/*.dat in any
// case, following no link out of the folder and going on past a subfolder that cannot be searched
// (each said as a FoundFile with its problem). A path that does not exist throws StoreError
// (Kind::NotFound), before anything is read.
std::vector<FoundFile> recordFilesOf(const std::vector<std::string>& paths);

// A file's terminal is the one its download noted beside it (origin.h), else `terminal` when
// given, else the name of the folder that holds it (above downbak/) when that is an address or
// COM<n>:<a>, as `collect` and a download name them; else the file is refused in words and nothing
// of it is stored. A file is read a piece at a time and each piece stored in a transaction of its
// own, so a file of any size imports in the same memory.
std::vector<ImportedFile> importFiles(Store& store, const std::vector<FoundFile>& files,
                                      const std::optional<std::string>& terminal);

}  // namespace movar::store
