// The flows the fuzz targets drive, shared with the seed maker so that the seeds are valid
// exchanges of exactly these calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace movar::fuzz {

inline constexpr const char* kIp = "10.0.0.9";
inline constexpr std::size_t kBackupFileBytes = 1600;  // two data frames

// "zwbak.txt" for the backup send.
Bytes backupFile();

enum class Flow {
  SerialDownload, LanDownload, ModemDownload, Realtime, Settings, RecordFiles, Fingerprint, Backup
};

struct FlowInfo {
  Flow flow;
  const char* name;  // of the target and its corpus folder
  int selectors;     // > 0: the input's first byte picks one of this many calls
};

extern const FlowInfo kFlows[8];

// The record files flow converts "in.dat" and "in.xf"... of the record directory; the others
// talk to the terminal. The fingerprint flow finds a template file of 816 bytes to send,
// the backup send kBackupFileBytes in "zwbak.txt".
void runFlow(Flow flow, Platform& platform, std::uint8_t selector);

// One fuzz input: the selector byte where the flow has one, then the terminal's script (for the
// record files: the file's bytes).
void fuzzOne(Flow flow, const std::uint8_t* data, std::size_t size);

}  // namespace movar::fuzz
