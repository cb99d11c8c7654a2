// Checks of the directory and file names that hosts pass to the file exports.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace movar::records {

// The longest path any of these exports forms (Windows MAX_PATH without its terminating zero),
// on every OS, so a host sees the same refusals everywhere.
constexpr std::size_t kMaxPathLength = 259;

// The directory as given, or nothing when it is refused: a null pointer, a text that does not
// end in a path separator (the names are joined to it unchanged, so anything else would put the
// files beside it rather than in it), a directory that does not exist, or one so long that
// `longestSuffix` more characters would pass kMaxPathLength.
std::optional<std::string> callerDirectory(Platform& platform, const char* directory,
                                           std::size_t longestSuffix);

// The base name as given, or nothing for a null pointer or a name holding a path separator or a
// colon (drive or stream prefix), which could reach outside the caller's directory.
std::optional<std::string> callerFileName(const char* name);

}  // namespace movar::records
