// /api/records: the query a request's parameters ask for, checked, and the facts as lines of
// JSON (the fields of `movar records --json`, then seq) or CSV.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "store/store.h"

namespace movar::serve {

struct RecordsRequest {
  store::Query query;
  bool csv = false;
};

// `error` says what is wrong when nullopt comes back.
std::optional<RecordsRequest> recordsRequest(const std::multimap<std::string, std::string>& params, std::string& error);

extern const char* const kRecordsCsvHeader;
void appendFact(std::string& out, const store::StoredFact& fact, bool csv);

}  // namespace movar::serve
