#include "store/location.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace movar::store {

namespace {

constexpr const char* kHidden = "***";

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool isBareWord(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return false;
  for (std::size_t k = first; k <= last; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[k]);
    if (!std::isalnum(c) && c != '_') return false;
  }
  return true;
}

// libpq's reason why it cannot read `text`; empty when it can.
std::string parseProblem(const std::string& text) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(text.c_str(), &error);
  std::string problem = options ? "" : error ? error : "out of memory";
  PQconninfoFree(options);
  PQfreemem(error);
  while (!problem.empty() && (problem.back() == '\n' || problem.back() == ' ')) problem.pop_back();
  return problem;
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '%' && k + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[k + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[k + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(k + 1, 2), nullptr, 16));
      k += 2;
    } else {
      out += text[k];
    }
  }
  return out;
}

// The value after each "password" keyword: quoted ('...' with backslash escapes, perhaps never
// closed) or up to the next blank, '&' or the end.
void keywordPasswords(const std::string& text, std::vector<std::string>& secrets) {
  for (auto at = text.find("password"); at != std::string::npos; at = text.find("password", at + 1)) {
    std::size_t k = at + 8;
    while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
    if (k >= text.size() || text[k] != '=') continue;
    ++k;
    while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
    std::string value;
    if (k < text.size() && text[k] == '\'') {
      const std::size_t start = ++k;
      for (; k < text.size() && text[k] != '\''; ++k) {
        if (text[k] == '\\' && k + 1 < text.size()) ++k;
        value += text[k];
      }
      // The raw form too, escapes and all, as a message may quote it.
      secrets.push_back(text.substr(start, k - start));
    } else {
      while (k < text.size() && text[k] != ' ' && text[k] != '\t' && text[k] != '&') value += text[k++];
    }
    secrets.push_back(value);
    secrets.push_back(percentDecoded(value));
  }
}

// A URI's "user:password" before its last '@'.
void uriPassword(const std::string& text, std::vector<std::string>& secrets) {
  const auto scheme = text.find("://");
  if (scheme == std::string::npos) return;
  const auto at = text.rfind('@');
  if (at == std::string::npos || at < scheme) return;
  const auto colon = text.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return;
  const std::string password = text.substr(colon + 1, at - colon - 1);
  secrets.push_back(password);
  secrets.push_back(percentDecoded(password));
}

}  // namespace

Location readLocation(const std::string& text) {
  if (startsWith(text, "/") || startsWith(text, "./") || startsWith(text, "../")) return {};
  const bool uri = startsWith(text, "postgresql://") || startsWith(text, "postgres://");
  const auto equals = text.find('=');
  const bool keywords = !uri && equals != std::string::npos && isBareWord(text.substr(0, equals));
  if (!uri && !keywords) {
    if (text.find("://") == std::string::npos) return {};
    return {Location::Kind::Sqlite,
            "\"" + withoutPassword(text, text) + "\" is not a PostgreSQL URI (postgresql:// or postgres://); "
            "a SQLite file of that name is written ./" + withoutPassword(text, text)};
  }
  const std::string problem = parseProblem(text);
  if (problem.empty()) return {Location::Kind::Postgres, ""};
  return {Location::Kind::Postgres,
          "\"" + withoutPassword(text, text) + "\" reads like a PostgreSQL connection string but is not "
          "one: " + withoutPassword(problem, text) + (uri ? "" : " (a SQLite file of that name is "
                                                             "written ./" + withoutPassword(text, text) + ")")};
}

std::string withoutPassword(std::string text, const std::string& location) {
  std::vector<std::string> secrets;
  keywordPasswords(location, secrets);
  uriPassword(location, secrets);
  // Longest first, so that a secret inside a longer one leaves nothing of it.
  std::sort(secrets.begin(), secrets.end(), [](const std::string& a, const std::string& b) {
    return a.size() > b.size();
  });
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    for (auto at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3)) {
      text.replace(at, secret.size(), kHidden);
    }
  }
  return text;
}

}  // namespace movar::store
