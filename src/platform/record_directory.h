// Where record files, downbak, FINGERREC, zwbak.txt and NAM files go: the directory the calling
// thread chose, else $MOVAR_RECORD_DIR, else the executable's. Per thread, so that parallel
// downloads into different directories need no lock.
#pragma once

#include <string>

namespace movar {

// Null or "" goes back to the default. A missing trailing separator is added. False, keeping the
// thread's choice as it was, when the text is longer than the system's path limit.
bool setThreadRecordDirectory(const char* directory, char separator);

// The thread's choice, else `environment` (the value of MOVAR_RECORD_DIR, which each platform reads
// its own way; null when unset), ending in a separator; empty when neither is set, and the
// executable's directory is then the platform's to find.
std::string preferredRecordDirectory(char separator, const char* environment);

}  // namespace movar
