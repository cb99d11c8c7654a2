#include "storing.h"

#include <cstdio>
#include <filesystem>

#include "arguments.h"
#include "store/calendar.h"

namespace movar::cli {

void reportStored(const Stored& stored, Json* json) {
  if (json) {
    (*json)["stored"] = stored.added;
    if (!stored.error.empty()) (*json)["store_error"] = stored.error;
    return;
  }
  if (!stored.error.empty()) {
    std::fprintf(stderr, "movar: not in the store (the record files keep them; `movar store import` "
                         "adds them later): %s\n", stored.error.c_str());
    return;
  }
  std::printf("  stored: %zu new of %zu records%s\n", stored.added, stored.facts,
              stored.impossible ? (", " + std::to_string(stored.impossible) +
                                   " with an impossible date or time left out").c_str()
                                : "");
}

void printFacts(const std::vector<store::StoredFact>& facts, FactFormat format) {
  if (format == FactFormat::Csv) std::printf("time,person,machine,terminal,collected,seq\n");
  for (const store::StoredFact& s : facts) {
    const store::Fact& f = s.fact;
    switch (format) {
      case FactFormat::Text:
        std::printf("%s  person %5d  machine %3d  %s\n", f.time.c_str(), f.person, f.machine,
                    f.terminal.c_str());
        break;
      case FactFormat::Csv:
        std::printf("%s,%d,%d,%s,%s,%lld\n", f.time.c_str(), f.person, f.machine,
                    csvField(f.terminal).c_str(), s.collected.c_str(), static_cast<long long>(s.seq));
        break;
      case FactFormat::JsonLines:
        printJson({{"time", f.time}, {"person", f.person}, {"machine", f.machine},
                   {"terminal", f.terminal}, {"collected", s.collected}, {"seq", s.seq}});
        break;
    }
  }
}

int printImported(const std::vector<store::ImportedFile>& files, bool json) {
  std::size_t records = 0, added = 0, unreadable = 0;
  for (const store::ImportedFile& f : files) {
    records += f.records;
    added += f.added;
    if (!f.error.empty()) ++unreadable;
    if (json) {
      Json line{{"file", f.path}, {"terminal", f.terminal}, {"records", f.records}, {"stored", f.added}};
      if (f.impossible) line["impossible"] = f.impossible;
      if (!f.error.empty()) line["error"] = f.error;
      printJson(line);
    } else if (!f.error.empty()) {
      std::fprintf(stderr, "movar store import: %s\n", f.error.c_str());
    } else {
      std::printf("%s (%s): %zu records, %zu new%s\n", f.path.c_str(), f.terminal.c_str(), f.records,
                  f.added,
                  f.impossible ? (", " + std::to_string(f.impossible) +
                                  " with an impossible date or time left out").c_str()
                               : "");
    }
  }
  if (json) {
    printJson({{"files", files.size()}, {"records", records}, {"stored", added}, {"unreadable", unreadable}});
  } else {
    std::printf("%zu files: %zu records, %zu new in the store\n", files.size(), records, added);
  }
  return unreadable ? 1 : 0;
}

std::string checkedTime(const char* option, const std::string& typed) {
  const auto digitsAt = [&](std::size_t at, std::size_t n) {
    for (std::size_t k = at; k < at + n; ++k) {
      if (k >= typed.size() || typed[k] < '0' || typed[k] > '9') return false;
    }
    return true;
  };
  const bool date = typed.size() >= 10 && digitsAt(0, 4) && typed[4] == '-' && digitsAt(5, 2) &&
                    typed[7] == '-' && digitsAt(8, 2);
  const bool time = typed.size() == 16 && typed[10] == ' ' && digitsAt(11, 2) && typed[13] == ':' &&
                    digitsAt(14, 2);
  if (!date || (typed.size() != 10 && !time)) {
    throw UsageError(std::string(option) + ": \"" + typed + "\" is not YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"");
  }
  const auto number = [&](std::size_t at, std::size_t n) { return std::stoi(typed.substr(at, n)); };
  if (!store::isRealDate(number(0, 4), number(5, 2), number(8, 2))) {
    throw UsageError(std::string(option) + ": " + typed.substr(0, 10) + " is not a day of the calendar");
  }
  if (time && !store::isRealTime(number(11, 2), number(14, 2))) {
    throw UsageError(std::string(option) + ": " + typed.substr(11) + " is not a time of day (00:00-23:59)");
  }
  return typed;
}

void checkedPeriod(const std::string& from, const std::string& to) {
  // A date alone is its whole day: from its first minute, to its last.
  const std::string first = from.size() == 10 ? from + " 00:00" : from;
  const std::string last = to.size() == 10 ? to + " 23:59" : to;
  if (first > last) throw UsageError("--from " + from + " is after --to " + to + "; nothing is between them");
}

store::Query checkedQuery(const FactsAsked& asked) {
  store::Query q;
  if (!asked.from.empty()) q.from = checkedTime("--from", asked.from);
  if (!asked.to.empty()) q.to = checkedTime("--to", asked.to);
  if (q.from && q.to) checkedPeriod(*q.from, *q.to);
  if (!asked.person.empty()) q.person = checkedNumber("--person", asked.person, 0, 65535);
  if (!asked.terminal.empty()) q.terminal = asked.terminal;
  if (!asked.after.empty()) {
    const std::optional<std::int64_t> after = parseNumber(asked.after);
    if (!after || *after < 0) throw UsageError("--after: \"" + asked.after + "\" is not a record's number (0 or more)");
    q.after = after;
  }
  return q;
}

std::string storeTrouble(const store::StoreError& error) {
  using Kind = store::StoreError::Kind;
  const char* hint = "";
  switch (error.kind()) {
    case Kind::Busy: hint = " (another program holds the store: try again later)"; break;
    case Kind::Unreachable: hint = " (the database server does not answer: is it running and reachable?)"; break;
    case Kind::Denied:
    case Kind::Schema:
    case Kind::Io:
    case Kind::NotFound:
    case Kind::Location: break;
  }
  return std::string(error.what()) + hint;
}

}  // namespace movar::cli
