#include "show.h"

#include <cstdio>

#include "records/attendance_record.h"
#include "records/transaction_record.h"
#include "store/calendar.h"
#include "report.h"
#include "store/record_reader.h"

namespace movar::cli {

namespace {

using store::isRealDate;
using store::isRealTime;

constexpr const char* kImpossible = "date or time cannot be real";

// One record's fields as the chosen format prints them; `problem` empty for a possible record.
struct Shown {
  Json fields;      // the JSON object's fields, also the CSV columns after "file"
  std::string text;  // the readable line
  std::string problem;
};

Shown attendance(const std::uint8_t* bytes) {
  const records::AttendanceRecord r = records::AttendanceRecord::decode(bytes);
  const int year = 2000 + r.year;
  const unsigned machine = r.machine({});
  const std::string when = store::minuteText(year, r.month, r.day, r.hour, r.minute);
  Shown s;
  if (!isRealDate(year, r.month, r.day) || !isRealTime(r.hour, r.minute)) s.problem = kImpossible;
  s.fields = {{"person", r.person}, {"time", when}, {"machine", machine}};
  char line[80];
  std::snprintf(line, sizeof line, "person %5u  %s  machine %u", static_cast<unsigned>(r.person),
                when.c_str(), machine);
  s.text = line;
  return s;
}

Shown transaction(const std::uint8_t* bytes) {
  const records::TransactionRecord r = records::TransactionRecord::decode(bytes);
  const int year = 2000 + r.year;
  char when[32];
  std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", year, r.month, r.day, r.hour,
                r.minute, r.second);
  char line[64];
  records::writeTransactionLine(r, line);
  Shown s;
  if (!isRealDate(year, r.month, r.day) || !isRealTime(r.hour, r.minute, r.second)) {
    s.problem = kImpossible;
  } else if (!r.valid()) {
    s.problem = "not a sale or top-up the conversion writes (type, card or year)";
  }
  s.text = std::string(line);  // the line's own zero byte ends it
  s.fields = {{"time", when},           {"card", r.card},       {"sign", std::string(1, r.sign())},
              {"amount", r.amount()},   {"machine", r.machine}, {"line", s.text}};
  return s;
}

void printCsvHeader(const Shown& sample) {
  std::string header = "file";
  for (const auto& [key, value] : sample.fields.items()) header += "," + key;
  std::printf("%s,problem\n", header.c_str());
}

void print(const Shown& s, const std::string& path, bool severalFiles, ShowFormat format) {
  switch (format) {
    case ShowFormat::Text:
      std::printf("%s%s\n", s.text.c_str(), s.problem.empty() ? "" : ("  [" + s.problem + "]").c_str());
      break;
    case ShowFormat::JsonLines: {
      Json object;
      if (severalFiles) object["file"] = path;
      object.update(s.fields);
      if (!s.problem.empty()) object["problem"] = s.problem;
      printJson(object);
      break;
    }
    case ShowFormat::Csv: {
      std::string row = csvField(path);
      for (const auto& [key, value] : s.fields.items()) {
        row += "," + csvField(value.is_string() ? value.get<std::string>() : value.dump());
      }
      std::printf("%s,%s\n", row.c_str(), csvField(s.problem).c_str());
      break;
    }
  }
}

}  // namespace

int showFiles(const std::vector<std::string>& paths, bool transactions, ShowFormat format) {
  const std::size_t size =
      transactions ? records::kTransactionRecordSize : records::kAttendanceRecordSize;
  const auto decode = transactions ? transaction : attendance;
  const bool several = paths.size() > 1;
  bool allSound = true;
  if (format == ShowFormat::Csv) {
    const std::vector<std::uint8_t> zeros(size, 0);
    printCsvHeader(decode(zeros.data()));
  }
  for (const std::string& path : paths) {
    bool named = false;
    const auto name = [&] {
      if (several && format == ShowFormat::Text && !named) std::printf("%s:\n", path.c_str());
      named = true;
    };
    std::size_t marked = 0;
    const auto showPiece = [&](const std::uint8_t* bytes, std::size_t count) {
      name();
      for (std::size_t k = 0; k < count; ++k) {
        const Shown shown = decode(bytes + k * size);
        if (!shown.problem.empty()) ++marked;
        print(shown, path, several, format);
      }
    };
    const store::RecordsRead read = store::readRecords(path, size, showPiece);
    if (!read.failure.empty()) {
      std::fprintf(stderr, "movar show: %s: cannot read: %s\n", path.c_str(), read.failure.c_str());
      allSound = false;
      continue;
    }
    name();
    if (marked > 0) {
      std::fprintf(stderr, "movar show: %s: %zu of %zu records marked (%s)\n", path.c_str(), marked,
                   read.records, transactions ? "not transactions" : "not attendance");
      allSound = false;
    }
    if (read.strayBytes != 0) {
      std::fprintf(stderr, "movar show: %s: %zu bytes after the last whole %zu-byte record\n",
                   path.c_str(), read.strayBytes, size);
      allSound = false;
    }
  }
  return allSound ? 0 : 1;
}

}  // namespace movar::cli
