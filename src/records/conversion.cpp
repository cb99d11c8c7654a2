#include "records/conversion.h"

#include <algorithm>

#include "records/backups.h"
#include "records/caller_paths.h"
#include "records/conversion_engine.h"

namespace movar::records {

namespace {

constexpr Millis kDownloadSettle = 300;

ConversionJob afterDownloadJob(Platform& platform, const std::string& base) {
  ConversionJob job;
  job.directory = platform.files.recordDirectory();
  job.input = base + ".dat";
  job.output = base + ".txt";
  job.initialWait = kDownloadSettle;
  job.createDelay = 100;
  // Named after the record file, which no two running downloads share; never ".txt", which the
  // conversion exports use for theirs.
  job.textIntermediate = base + ".txt.part";
  job.inputIntermediate = base + ".dat.part";
  job.staleIntermediates = {"k.txt", "k.dat"};
  job.durable = true;
  return job;
}

std::int32_t downloadResult(ConversionResult result) {
  return result == ConversionResult::Converted ? 0 : -1;
}

std::int32_t exportResult(ConversionResult result) {
  return result == ConversionResult::Converted ? 0 : 1;
}

// The caller's <dir><name>.dat -> <dir><name>.txt, backed up through downbak\<name>.txt.
std::int32_t convertCallerFile(Platform& platform, const char* dir, const char* name,
                               const LineFormat& format, Millis initialWait) {
  const auto base = callerFileName(name);
  if (!base) return 1;
  const std::size_t backupFile = std::max<std::size_t>(base->size() + 4, 21);  // k<stamp>_<NNNNN>.txt
  const std::size_t longest = std::string(kBackupDirectoryName).size() + 1 + backupFile;
  const auto directory = callerDirectory(platform, dir, longest);
  if (!directory) return 1;
  ConversionJob job;
  job.directory = *directory;
  job.input = *base + ".dat";
  job.output = *base + ".txt";
  job.format = &format;
  job.initialWait = initialWait;
  job.textIntermediate = *base + ".txt";
  return exportResult(runConversion(platform, job));
}

}  // namespace

std::int32_t convertAfterDownload(Platform& platform) {
  ConversionJob job = afterDownloadJob(platform, "movar");
  job.machine = {MachineRule::SixtyFirst};
  job.openAttempts = 30;
  job.createDelay = 10;
  return downloadResult(runConversion(platform, job));
}

std::int32_t convertNumberedDownload(Platform& platform, std::int32_t n) {
  ConversionJob job = afterDownloadJob(platform, "movar" + std::to_string(n));
  job.machine = {MachineRule::Adding};
  return downloadResult(runConversion(platform, job));
}

std::int32_t convertAddressDownload(Platform& platform, std::int32_t m) {
  ConversionJob job = afterDownloadJob(platform, "movar");
  job.machine = {MachineRule::Fixed, static_cast<std::uint8_t>(m & 0xFF)};
  return downloadResult(runConversion(platform, job));
}

std::int32_t convertFile(Platform& platform, const char* dir, const char* name) {
  return convertCallerFile(platform, dir, name, kAttendanceFormat, 0);
}

std::int32_t convertTransactionFile(Platform& platform, const char* dir, const char* name) {
  return convertCallerFile(platform, dir, name, kTransactionFormat, 300);
}

}  // namespace movar::records
