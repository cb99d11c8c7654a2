// What reaches the PC, handed to the record store: a download's record file, a live record.
// The files stay as the library wrote them; a store that cannot take them is said, never hidden.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report.h"
#include "store/import.h"
#include "store/ingest.h"
#include "store/store.h"

namespace movar::cli {

using store::Stored;

// One line for a person ("stored: 12 new of 30 records") or the fields of a JSON object.
void reportStored(const Stored& stored, Json* json);

// `movar records`: the facts in time order as text, CSV or JSON lines; CSV and JSON give each
// fact's number (seq), which a reader keeps to ask for what came after it.
enum class FactFormat { Text, Csv, JsonLines };
void printFacts(const std::vector<store::StoredFact>& facts, FactFormat format);

// `movar records`'s options as typed (each empty when not given), checked into a query: real
// dates and times, --from not after --to, --after a number of the store (0 or more).
struct FactsAsked {
  std::string from, to, person, terminal, after;
};
store::Query checkedQuery(const FactsAsked& asked);

// A store's failure in words for the person at the command line.
std::string storeTrouble(const store::StoreError& error);

// `movar store import`'s report, a line per file and a total; 1 when a file could not be read.
int printImported(const std::vector<store::ImportedFile>& files, bool json);

// A --from/--to value: "YYYY-MM-DD" or "YYYY-MM-DD HH:MM", a day of the calendar and a time
// of day; else a UsageError that names the option.
std::string checkedTime(const char* option, const std::string& typed);
// --from no later than --to (checked times), else a UsageError.
void checkedPeriod(const std::string& from, const std::string& to);

}  // namespace movar::cli
