#include "serve/records_api.h"

#include <charconv>
#include <cstdio>

namespace movar::serve {

namespace {

bool digitsAt(const std::string& t, std::size_t at, std::size_t n) {
  for (std::size_t k = at; k < at + n; ++k) {
    if (k >= t.size() || t[k] < '0' || t[k] > '9') return false;
  }
  return true;
}

bool isTime(const std::string& t) {
  const bool date = t.size() >= 10 && digitsAt(t, 0, 4) && t[4] == '-' && digitsAt(t, 5, 2) && t[7] == '-' &&
                    digitsAt(t, 8, 2);
  const bool minute = t.size() == 16 && t[10] == ' ' && digitsAt(t, 11, 2) && t[13] == ':' && digitsAt(t, 14, 2);
  return date && (t.size() == 10 || minute);
}

std::optional<long long> whole(const std::string& t) {
  long long v = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || error != std::errc{} || end != t.data() + t.size()) return std::nullopt;
  return v;
}

void appendEscaped(std::string& out, const std::string& text) {
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else {
      out += c;
    }
  }
}

void appendCsvField(std::string& out, const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void appendNumber(std::string& out, long long value) {
  char text[24];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  out.append(text, end);
}

}  // namespace

const char* const kRecordsCsvHeader = "time,person,machine,terminal,collected,seq\n";

std::optional<RecordsRequest> recordsRequest(const std::multimap<std::string, std::string>& params, std::string& error) {
  RecordsRequest r;
  for (const auto& [key, value] : params) {
    if (params.count(key) > 1) {
      error = key + ": given more than once";
      return std::nullopt;
    }
    if (key == "from" || key == "to") {
      if (!isTime(value)) {
        error = key + ": \"" + value + "\" is not YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"";
        return std::nullopt;
      }
      (key == "from" ? r.query.from : r.query.to) = value;
    } else if (key == "person") {
      const auto n = whole(value);
      if (!n || *n < 0 || *n > 65535) {
        error = "person: \"" + value + "\" is not a number from 0 to 65535";
        return std::nullopt;
      }
      r.query.person = static_cast<int>(*n);
    } else if (key == "terminal") {
      if (value.empty()) {
        error = "terminal: empty";
        return std::nullopt;
      }
      r.query.terminal = value;
    } else if (key == "after") {
      const auto n = whole(value);
      if (!n || *n < 0) {
        error = "after: \"" + value + "\" is not a seq (a whole number from 0)";
        return std::nullopt;
      }
      r.query.after = *n;
    } else if (key == "format") {
      if (value != "csv" && value != "jsonl") {
        error = "format: \"" + value + "\" is not csv or jsonl";
        return std::nullopt;
      }
      r.csv = value == "csv";
    } else {
      error = key + ": not a parameter here (from, to, person, terminal, after, format)";
      return std::nullopt;
    }
  }
  return r;
}

void appendFact(std::string& out, const store::StoredFact& s, bool csv) {
  const store::Fact& f = s.fact;
  if (csv) {
    out += f.time;
    out += ',';
    appendNumber(out, f.person);
    out += ',';
    appendNumber(out, f.machine);
    out += ',';
    appendCsvField(out, f.terminal);
    out += ',';
    out += s.collected;
    out += ',';
    appendNumber(out, s.seq);
    out += '\n';
    return;
  }
  out += "{\"time\":\"";
  appendEscaped(out, f.time);
  out += "\",\"person\":";
  appendNumber(out, f.person);
  out += ",\"machine\":";
  appendNumber(out, f.machine);
  out += ",\"terminal\":\"";
  appendEscaped(out, f.terminal);
  out += "\",\"collected\":\"";
  appendEscaped(out, s.collected);
  out += "\",\"seq\":";
  appendNumber(out, s.seq);
  out += "}\n";
}

}  // namespace movar::serve
