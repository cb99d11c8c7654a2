// `movar show FILE...`: record files or transaction files as readable lines, JSON or CSV. A
// record whose date or time cannot be real is marked, so that a file that is not a record file
// is never printed as attendance.
#pragma once

#include <string>
#include <vector>

namespace movar::cli {

enum class ShowFormat { Text, JsonLines, Csv };

// 0 when every file was read and every record is possible; 1 otherwise (said on stderr).
int showFiles(const std::vector<std::string>& paths, bool transactions, ShowFormat format);

}  // namespace movar::cli
