#include "store/ingest.h"

#include "records/attendance_record.h"
#include "store/facts.h"
#include "store/record_reader.h"

namespace movar::store {

Stored storeDownload(Store& store, const std::string& terminal,
                     const std::vector<std::string>& written, std::optional<int> fixedMachine,
                     Attempt* attempt) {
  Stored out;
  // What one terminal's memory held: its facts and its attempt go in one transaction.
  FileFacts found;
  std::string source = "download";
  for (const std::string& path : written) {
    if (recordFileKind(path) != RecordFile::Download) continue;  // a backup holds the same facts
    const auto addPiece = [&](const std::uint8_t* bytes, std::size_t count) {
      addFacts(bytes, count, terminal, fixedMachine, found);
    };
    if (const RecordsRead read = readRecords(path, records::kAttendanceRecordSize, addPiece); !read.failure.empty()) {
      out.error = "cannot read " + path + ": " + read.failure;
      return out;
    }
    source += " " + path;
  }
  out.facts = found.facts.size();
  out.impossible = found.impossible;
  try {
    out.added = store.write(found.facts, source, attempt);
  } catch (const StoreError& e) {
    out.error = e.what();
  }
  return out;
}

Stored storeLive(Store& store, const Fact& fact) {
  Stored out;
  out.facts = 1;
  try {
    out.added = store.write({fact}, "realtime");
  } catch (const StoreError& e) {
    out.error = e.what();
  }
  return out;
}

}  // namespace movar::store
