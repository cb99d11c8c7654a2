// Record files read a piece at a time, so that a file of any size takes the same memory. Only
// regular files: a FIFO would wait for a writer and a device might never end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace movar::store {

// What a download writes: its record file (movar.dat, movar<n>.dat) and the backups beside it in
// downbak/ (*.dat), in any case (files copied from Windows keep the case they had there).
enum class RecordFile { None, Download, Backup };
RecordFile recordFileKind(const std::string& path);

struct RecordsRead {
  std::size_t records = 0;     // whole records handed over
  std::size_t strayBytes = 0;  // a tail shorter than one record
  // Why the file could not be opened or read, in words ("Is a directory", "a FIFO, not a file");
  // empty when it was read to its end. The pieces handed over before stay handed over.
  std::string failure;
};

using RecordPiece = std::function<void(const std::uint8_t* bytes, std::size_t records)>;

// Hands `each` the file's whole records in order, a piece (at most about 1 MB) at a time.
RecordsRead readRecords(const std::string& path, std::size_t recordSize, const RecordPiece& each);

}  // namespace movar::store
