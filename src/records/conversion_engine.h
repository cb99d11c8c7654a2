// The one conversion run behind the after-download routines and the conversion exports: open with
// retries, stream records into text lines, then make the dated backups. The variants differ only
// in the data of a ConversionJob.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "records/attendance_record.h"

namespace movar::records {

// Turns one record into its line (CR LF included) at `out`; returns the line's length, or 0 for
// a record that gets no line. `machine` receives the number that names the backups.
using LineBuilder = std::size_t (*)(const std::uint8_t* record, const MachineSource& source,
                                    char* out, unsigned& machine);

struct LineFormat {
  std::size_t recordSize;
  std::size_t maxLineSize;  // room one line may need while it is built
  LineBuilder build;
};

extern const LineFormat kAttendanceFormat;
extern const LineFormat kTransactionFormat;

struct ConversionJob {
  std::string directory;  // ends in the separator
  std::string input;      // file names inside `directory`
  std::string output;
  const LineFormat* format = &kAttendanceFormat;
  MachineSource machine;
  Millis initialWait = 0;
  int openAttempts = 15;
  Millis openDelay = 100;
  int createAttempts = 15;
  Millis createDelay = 100;
  std::string textIntermediate = "k.txt";
  bool backupInput = false;  // also copy the record file, through "k.dat"
};

enum class ConversionResult { Converted, Failed };

ConversionResult runConversion(Platform& platform, const ConversionJob& job);

struct StreamOutcome {
  bool written = false;                  // every write succeeded
  std::optional<unsigned> firstMachine;  // of the first line written
  std::uint64_t lines = 0;
};

// Reads whole records in large chunks until the input ends (a trailing partial record is
// ignored) and writes the lines in large chunks: never one write per line, never the whole file
// in memory.
StreamOutcome convertStream(File& input, File& output, const LineFormat& format,
                            const MachineSource& machine);

}  // namespace movar::records
