// The one conversion run behind the after-download routines and the conversion exports: open with
// retries, stream records into text lines, then make the dated backups. The variants differ only
// in the data of a ConversionJob.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  // The backups are copied to these names in the backup directory, then renamed to their dated
  // names. Each conversion needs names of its own: a download running beside another must not
  // remove or rename the other's copy in flight.
  std::string textIntermediate;
  std::string inputIntermediate;  // empty: the record file gets no backup
  // Intermediate names of earlier versions, removed when an interrupted run left them.
  std::vector<std::string> staleIntermediates;
  // A download's conversion: the terminal is erased on the strength of it, so a backup that
  // fails fails it, and it succeeds only once every file it read or wrote and their folders are
  // synced.
  bool durable = false;
};

enum class ConversionResult { Converted, Failed };

ConversionResult runConversion(Platform& platform, const ConversionJob& job);

struct StreamOutcome {
  bool written = false;                  // every write succeeded
  bool readFailed = false;               // the input could not be read to its end
  std::optional<unsigned> firstMachine;  // of the first line written
  std::uint64_t lines = 0;
};

// Reads whole records in large chunks until the input ends (a trailing partial record is
// ignored) and writes the lines in large chunks: never one write per line, never the whole file
// in memory.
StreamOutcome convertStream(File& input, File& output, const LineFormat& format,
                            const MachineSource& machine);

}  // namespace movar::records
