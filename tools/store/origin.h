// Which terminal a folder's record files came from, in a file of the command line's own beside
// them (the library's files stay exactly as it writes them). Without it a recovery import would
// name the terminal after wherever the files happen to lie, and store every fact a second time.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace movar::store {

inline constexpr const char* kOriginFile = "movar-terminal.txt";

// Adds `terminal` (its store name) to `folder`'s origin file, durably (written, synced, renamed
// over the old one, the folder synced), so that it is on the disk before any record is taken from
// the terminal. A folder that already holds another terminal's downloads lists both: its files can
// then no longer be told apart. Throws std::runtime_error with the cause in words.
void noteOrigin(const std::string& folder, const std::string& terminal);

// The terminals `folder`'s origin file names, in the order they first downloaded there; empty
// when there is no such file.
std::vector<std::string> originsOf(const std::string& folder);

}  // namespace movar::store
