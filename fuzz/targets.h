// The flows the fuzz targets drive, shared with the seed maker so that the seeds are valid
// exchanges of exactly these calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace movar::fuzz {

inline constexpr const char* kIp = "10.0.0.9";

enum class Flow { SerialDownload, LanDownload, ModemDownload, Realtime, Settings, RecordFiles, Fingerprint };

struct FlowInfo {
  Flow flow;
  const char* name;  // of the target and its corpus folder
  int selectors;     // > 0: the input's first byte picks one of this many calls
};

extern const FlowInfo kFlows[7];

// The record files flow converts "in.dat" and "in.xf"... of the record directory; the others
// talk to the terminal. The fingerprint flow finds a template file of 816 bytes to send.
void runFlow(Flow flow, Platform& platform, std::uint8_t selector);

// One fuzz input: the selector byte where the flow has one, then the terminal's script (for the
// record files: the file's bytes).
void fuzzOne(Flow flow, const std::uint8_t* data, std::size_t size);

}  // namespace movar::fuzz
