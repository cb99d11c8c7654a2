// Names and voice texts in the terminal's character set. The user types UTF-8; a terminal shows
// single-byte or double-byte text of its own (GBK, BIG5, a code page), so UTF-8 sent as it is
// shows as garbage there.
#pragma once

#include <string>

namespace movar::cli {

// "raw": the bytes as typed. "": ASCII only (anything else is refused with a hint). Otherwise an
// iconv character set name. Throws UsageError naming `what`.
std::string toTerminalText(const std::string& what, const std::string& typed,
                           const std::string& charset);

// Whether iconv knows `charset` ("raw" and "" always pass).
bool isKnownCharset(const std::string& charset);

}  // namespace movar::cli
