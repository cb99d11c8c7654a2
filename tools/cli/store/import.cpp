#include "store/import.h"

#include <algorithm>
#include <filesystem>

#include "records/attendance_record.h"
#include "store/facts.h"
#include "store/record_reader.h"

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

bool inside(const fs::path& path, const fs::path& folder) {
  const auto [end, at] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end == folder.end() && at != path.end();
}

// The folder's record files, depth first; a link is followed only to a file inside `root`.
void search(const fs::path& root, std::vector<FoundFile>& found) {
  std::error_code code;
  const fs::path rootReal = fs::weakly_canonical(root, code);
  std::vector<fs::path> folders{root};
  while (!folders.empty()) {
    const fs::path folder = folders.back();
    folders.pop_back();
    fs::directory_iterator it(folder, code), end;
    if (code) {
      found.push_back({folder.string(), "cannot search " + folder.string() + ": " + code.message()});
      continue;
    }
    for (; !code && it != end; it.increment(code)) {
      const fs::path path = it->path();
      const fs::file_status own = it->symlink_status(code);
      if (code) break;
      if (fs::is_directory(own)) {
        folders.push_back(path);
        continue;
      }
      if (!fs::is_symlink(own)) {
        if (isRecordFile(path)) found.push_back({path.string(), ""});
        continue;
      }
      std::error_code ignored;
      const fs::path target = fs::weakly_canonical(path, ignored);
      const bool linkedFile = !ignored && fs::is_regular_file(target, ignored);
      if (linkedFile && !inside(target, rootReal)) {
        if (isRecordFile(path)) {
          found.push_back({path.string(), "not read: " + path.string() + " links to " + target.string() +
                                              ", out of " + root.string()});
        }
      } else if (linkedFile && isRecordFile(path)) {
        found.push_back({path.string(), ""});
      }  // a link to a folder is not searched: what is inside was found, what is outside is not ours
    }
    if (code) found.push_back({folder.string(), "cannot search " + folder.string() + ": " + code.message()});
  }
}

}  // namespace

std::vector<FoundFile> recordFilesOf(const std::vector<std::string>& paths, std::string& error) {
  std::vector<FoundFile> files;
  for (const std::string& path : paths) {
    std::error_code code;
    if (fs::is_directory(path, code)) {
      std::vector<FoundFile> found;
      search(path, found);
      std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
      files.insert(files.end(), found.begin(), found.end());
    } else if (fs::exists(fs::symlink_status(path, code))) {
      files.push_back({path, ""});
    } else {
      error = "no such file or folder: " + path;
      return {};
    }
  }
  return files;
}

std::vector<ImportedFile> importFiles(Store& store, const std::vector<FoundFile>& files,
                                      const std::optional<std::string>& terminal) {
  std::vector<ImportedFile> out;
  for (const FoundFile& file : files) {
    ImportedFile result;
    result.path = file.path;
    result.error = file.problem;
    if (!file.problem.empty()) {
      out.push_back(std::move(result));
      continue;
    }
    result.terminal = terminal ? *terminal : terminalOf(file.path);
    const std::string source = "import " + file.path;
    RecordsRead read;
    std::string reason;
    const auto storePiece = [&](const std::uint8_t* bytes, std::size_t count) {
      FileFacts piece;
      addFacts(bytes, count, result.terminal, std::nullopt, piece);
      result.records += piece.facts.size();
      result.impossible += piece.impossible;
      if (!piece.facts.empty()) result.added += store.write(piece.facts, source);
    };
    if (!readRecords(file.path, records::kAttendanceRecordSize, storePiece, read, reason)) {
      result.error = "cannot read " + file.path + ": " + reason;
    }
    out.push_back(std::move(result));
  }
  return out;
}

}  // namespace movar::cli::store
