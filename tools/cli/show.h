// `movar show FILE`: a record file or a transaction file as readable lines or JSON lines.
#pragma once

#include <string>

namespace movar::cli {

// 0 when the file was read, 1 when it could not be.
int showFile(const std::string& path, bool transactions, bool json);

}  // namespace movar::cli
