// What the command line prints: readable lines, or one JSON object per result or record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "collect/target.h"
#include "platform/platform.h"

namespace movar::cli {

// Fields in the order they are set.
using Json = nlohmann::ordered_json;

// One object on a line; bytes that are not UTF-8 (a name in a terminal's charset) are replaced.
void printJson(const Json& object);

// One CSV field, quoted when it holds a comma, a quote or a line break (quotes doubled).
std::string csvField(std::string_view text);

using collect::Target;

// Whether standard output's reader went away (a pipe closed at the other end): a write would fail.
bool standardOutputClosed();

}  // namespace movar::cli
