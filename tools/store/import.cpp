#include "store/import.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "link/net_link.h"
#include "records/attendance_record.h"
#include "store/facts.h"
#include "store/origin.h"
#include "store/record_reader.h"

namespace movar::store {

namespace fs = std::filesystem;

namespace {

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool endsInDat(const fs::path& file) { return lowered(file.extension().string()) == ".dat"; }

bool isRecordFile(const fs::path& file) { return recordFileKind(file.string()) != RecordFile::None; }

fs::path downloadFolderOf(const fs::path& file) {
  fs::path folder = fs::absolute(file).lexically_normal().parent_path();
  if (lowered(folder.filename().string()) == "downbak") folder = folder.parent_path();
  return folder;
}

bool isAddress(const std::string& name) {
  in_addr parsed{};
  return link::isDottedDecimal(name.c_str()) && ::inet_pton(AF_INET, name.c_str(), &parsed) == 1;
}

// COM<port>:<address>, as storeName() writes a serial terminal: decimal, no leading zeros.
bool isSerialName(const std::string& name) {
  const auto number = [](const std::string& digits, long most) {
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    return std::stol(digits) <= most;
  };
  const auto colon = name.find(':');
  if (name.rfind("COM", 0) != 0 || colon == std::string::npos) return false;
  return number(name.substr(3, colon - 3), 255) && std::stol(name.substr(3, colon - 3)) >= 1 &&
         number(name.substr(colon + 1), 255);
}

// The terminal a file's records came from: what its download wrote beside it, else `given`, else
// a folder named as only a terminal's folder is; nothing when none of them can tell.
std::optional<std::string> terminalOf(const fs::path& file, const std::optional<std::string>& given,
                                      std::string& unsure) {
  const fs::path folder = downloadFolderOf(file);
  const std::vector<std::string> noted = originsOf(folder.string());
  if (noted.size() == 1) return noted.front();
  if (given) return given;
  if (noted.size() > 1) {
    unsure = "its folder holds downloads of";
    for (const std::string& name : noted) unsure += " " + name;
    return std::nullopt;
  }
  const std::string name = folder.filename().string();
  if (isAddress(name) || isSerialName(name)) return name;
  return std::nullopt;
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

std::vector<FoundFile> recordFilesOf(const std::vector<std::string>& paths) {
  std::vector<FoundFile> files;
  for (const std::string& path : paths) {
    std::error_code code;
    if (fs::is_directory(path, code)) {
      std::vector<FoundFile> found;
      search(path, found);
      std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
      files.insert(files.end(), found.begin(), found.end());
    } else if (fs::exists(fs::symlink_status(path, code))) {
      // Named by hand, a record file may have been renamed; a converted text never ends in .dat.
      files.push_back({path, endsInDat(path) ? "" : "not a record file (those end in .dat): " + path});
    } else {
      throw StoreError(StoreError::Kind::NotFound, "no such file or folder: " + path);
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
    std::string unsure;
    const std::optional<std::string> from = terminalOf(file.path, terminal, unsure);
    if (!from) {
      result.error = "cannot tell which terminal " + file.path + " came from" +
                     (unsure.empty() ? "" : " (" + unsure + ")") + "; name it with --terminal";
      out.push_back(std::move(result));
      continue;
    }
    result.terminal = *from;
    const std::string source = "import " + file.path;
    const auto storePiece = [&](const std::uint8_t* bytes, std::size_t count) {
      FileFacts piece;
      addFacts(bytes, count, result.terminal, std::nullopt, piece);
      result.records += piece.facts.size();
      result.impossible += piece.impossible;
      if (!piece.facts.empty()) result.added += store.write(piece.facts, source);
    };
    const RecordsRead read = readRecords(file.path, records::kAttendanceRecordSize, storePiece);
    if (!read.failure.empty()) {
      result.error = "cannot read " + file.path + ": " + read.failure;
    }
    out.push_back(std::move(result));
  }
  return out;
}

}  // namespace movar::store
