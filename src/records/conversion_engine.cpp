#include "records/conversion_engine.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/failure.h"
#include "records/backups.h"
#include "records/transaction_record.h"

namespace movar::records {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kWriteChunk = 256 * 1024;
constexpr Millis kSettleBeforeBackup = 1000;

std::size_t attendanceLine(const std::uint8_t* bytes, const MachineSource& source, char* out,
                           unsigned& machine) {
  const AttendanceRecord record = AttendanceRecord::decode(bytes);
  machine = record.machine(source);
  return writeAttendanceLine(record, machine, out);
}

std::size_t transactionLine(const std::uint8_t* bytes, const MachineSource&, char* out,
                            unsigned& machine) {
  const TransactionRecord record = TransactionRecord::decode(bytes);
  if (!record.valid()) return 0;
  machine = record.machine;
  return writeTransactionLine(record, out);
}

// Tries `open` up to `attempts` times, showing `message` after each failure and pausing between.
template <typename Open>
std::unique_ptr<File> openWithRetries(Platform& platform, int attempts, Millis delay,
                                      const char* message, std::string_view action,
                                      const std::string& path, Open open) {
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    if (auto file = open()) return file;
    recordFileFailure(platform.files, action, path);
    platform.ui.messageBox(message);
    if (attempt < attempts) platform.clock.sleep(delay);
  }
  return nullptr;
}

}  // namespace

const LineFormat kAttendanceFormat{kAttendanceRecordSize, 32, &attendanceLine};
const LineFormat kTransactionFormat{kTransactionRecordSize, 64, &transactionLine};

StreamOutcome convertStream(File& input, File& output, const LineFormat& format,
                            const MachineSource& machine) {
  const std::size_t size = format.recordSize;
  const std::size_t readCapacity = kReadChunk / size * size;
  std::vector<std::uint8_t> in(readCapacity + size);
  std::vector<char> out(kWriteChunk + format.maxLineSize);
  StreamOutcome outcome;
  outcome.written = true;
  std::size_t carried = 0;  // bytes of a record split across two reads
  std::size_t used = 0;
  auto flush = [&] {
    if (used == 0) return;
    if (!output.write(reinterpret_cast<const std::uint8_t*>(out.data()), used)) {
      outcome.written = false;
    }
    used = 0;
  };
  for (;;) {
    const std::optional<std::size_t> read = input.read(in.data() + carried, readCapacity);
    if (!read) {
      outcome.readFailed = true;
      break;
    }
    const std::size_t got = *read;
    if (got == 0) break;
    const std::size_t available = carried + got;
    const std::size_t whole = available / size * size;
    for (std::size_t at = 0; at < whole; at += size) {
      unsigned lineMachine = 0;
      const std::size_t n = format.build(in.data() + at, machine, out.data() + used, lineMachine);
      if (n == 0) continue;
      if (!outcome.firstMachine) outcome.firstMachine = lineMachine;
      ++outcome.lines;
      used += n;
      if (used >= kWriteChunk) flush();
    }
    carried = available - whole;
    std::memmove(in.data(), in.data() + whole, carried);
    if (!outcome.written) break;
  }
  flush();
  return outcome;
}

ConversionResult runConversion(Platform& platform, const ConversionJob& job) {
  const std::string inputPath = job.directory + job.input;
  const std::string outputPath = job.directory + job.output;
  if (job.initialWait > 0) platform.clock.sleep(job.initialWait);
  StreamOutcome outcome;
  {
    auto input = openWithRetries(platform, job.openAttempts, job.openDelay,
                                 "can not open movar.dat!", "open", inputPath,
                                 [&] { return platform.files.openRead(inputPath); });
    if (!input) return ConversionResult::Failed;
    input->seek(0);
    auto output = openWithRetries(platform, job.createAttempts, job.createDelay,
                                  "can not creat MOVAR.TXT!", "create", outputPath,
                                  [&] { return platform.files.create(outputPath); });
    if (!output) return ConversionResult::Failed;
    outcome = convertStream(*input, *output, *job.format, job.machine);
  }
  // A record file not read in full, or a text file not written in full, is not a conversion:
  // callers would erase the terminal's records on the strength of it.
  if (!outcome.written || outcome.readFailed) {
    recordFailure(FailureKind::File, outcome.readFailed ? "cannot read " + inputPath
                                                        : "cannot write " + outputPath);
    return ConversionResult::Failed;
  }
  platform.clock.sleep(kSettleBeforeBackup);

  Files& files = platform.files;
  const std::string backups = ensureBackupDirectory(platform, job.directory);
  // A folder's name without its closing separator, unless that is a root ("/", "C:\\").
  const auto folder = [](const std::string& path) {
    const std::size_t n = path.size();
    return n < 2 || path[n - 2] == ':' ? path : path.substr(0, n - 1);
  };
  if (job.durable && !files.isPlainDirectory(backups)) {
    recordFailure(FailureKind::File,
                  files.exists(folder(backups))
                      ? "cannot back up into " + folder(backups) +
                            ": it is a file or a link, not a folder"
                      : "cannot create the backup folder " + folder(backups));
    return ConversionResult::Failed;
  }
  for (const std::string& stale : job.staleIntermediates) {
    if (files.exists(backups + stale)) files.remove(backups + stale);
  }
  const unsigned nn = outcome.firstMachine.value_or(0);
  std::vector<std::string> durable{inputPath, outputPath};
  auto backUp = [&](const std::string& source, const std::string& intermediate,
                    const char* extension) {
    const auto made = makeBackup(platform, {source, backups, intermediate, extension, nn});
    if (made) durable.push_back(*made);
    return made.has_value() || !job.durable;
  };
  if (!backUp(outputPath, job.textIntermediate, "txt")) return ConversionResult::Failed;
  if (!job.inputIntermediate.empty() && !backUp(inputPath, job.inputIntermediate, "dat")) {
    return ConversionResult::Failed;
  }
  if (!job.durable) return ConversionResult::Converted;
  // Files first, then the folders that name them: a synced entry must not point at lost data.
  durable.push_back(folder(backups));
  durable.push_back(folder(job.directory));
  for (const std::string& path : durable) {
    if (!files.sync(path)) {
      recordFileFailure(files, "sync", path);
      return ConversionResult::Failed;
    }
  }
  return ConversionResult::Converted;
}

}  // namespace movar::records
