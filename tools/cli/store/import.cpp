#include "store/import.h"

#include <algorithm>
#include <filesystem>

#include "store/facts.h"

namespace movar::cli::store {

namespace fs = std::filesystem;

namespace {

bool isRecordFile(const fs::path& file) {
  const std::string name = file.filename().string();
  if (file.extension() != ".dat") return false;
  return name.rfind("movar", 0) == 0 || file.parent_path().filename() == "downbak";
}

std::string terminalOf(const fs::path& file) {
  fs::path folder = fs::absolute(file).lexically_normal().parent_path();
  if (folder.filename() == "downbak") folder = folder.parent_path();
  return folder.filename().string();
}

}  // namespace

std::vector<std::string> recordFilesOf(const std::vector<std::string>& paths, std::string& error) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    std::error_code code;
    if (fs::is_directory(path, code)) {
      std::vector<std::string> found;
      for (fs::recursive_directory_iterator it(path, code), end; !code && it != end; it.increment(code)) {
        if (it->is_regular_file(code) && isRecordFile(it->path())) found.push_back(it->path().string());
      }
      if (code) {
        error = "cannot search " + path + ": " + code.message();
        return {};
      }
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (fs::exists(path, code)) {
      files.push_back(path);
    } else {
      error = "no such file or folder: " + path;
      return {};
    }
  }
  return files;
}

std::vector<ImportedFile> importFiles(Store& store, const std::vector<std::string>& files,
                                      const std::optional<std::string>& terminal) {
  std::vector<ImportedFile> out;
  for (const std::string& file : files) {
    ImportedFile result;
    result.path = file;
    result.terminal = terminal ? *terminal : terminalOf(file);
    if (const auto bytes = readWholeFile(file, result.error)) {
      const FileFacts found = factsOf(*bytes, result.terminal);
      result.records = found.facts.size();
      result.impossible = found.impossible;
      result.added = store.write(found.facts, "import " + file);
    }
    out.push_back(std::move(result));
  }
  return out;
}

}  // namespace movar::cli::store
