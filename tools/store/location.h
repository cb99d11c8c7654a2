// What a --store text names, read before anything is opened, and texts about a store that never
// show its password.
#pragma once

#include <string>

namespace movar::store {

// A PostgreSQL URI (postgresql://, postgres://) or a libpq "keyword=value ..." string (a bare
// word before its first '='); anything else, and any text that starts with "/", "./" or "../",
// is a SQLite file.
struct Location {
  enum class Kind { Sqlite, Postgres } kind = Kind::Sqlite;
  // Set when the text reads like a connection string but is not one libpq takes; said without
  // the password.
  std::string problem;
};
Location readLocation(const std::string& text);

// `text` (a message, or the location itself) with every password `location` holds put out of
// sight: a URI's "user:password@" and its password= parameter, a keyword string's password=.
std::string withoutPassword(std::string text, const std::string& location);

}  // namespace movar::store
