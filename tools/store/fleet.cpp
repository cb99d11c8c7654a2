#include "store/fleet.h"

#include <unistd.h>

#include <climits>

namespace movar::store {

namespace {

const char* const kColumns = "terminal, name, capacity, clock, host, holder, last_holder, due, lease_until";

std::string text(const Store::Row& row, std::size_t at) { return row.at(at).value_or(""); }
std::int64_t number(const Store::Row& row, std::size_t at) {
  return row.at(at) ? std::stoll(*row.at(at)) : 0;
}

FleetTerminal terminalOf(const Store::Row& row) {
  FleetTerminal t;
  t.terminal = text(row, 0);
  t.name = text(row, 1);
  if (row.at(2)) t.capacity = number(row, 2);
  t.clock = text(row, 3);
  t.host = text(row, 4);
  t.holder = text(row, 5);
  t.lastHolder = text(row, 6);
  t.due = number(row, 7);
  t.leaseUntil = number(row, 8);
  return t;
}

// A JSON list of texts, for a statement's parameter.
std::string jsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) {
    if (out.size() > 1) out += ',';
    out += '"';
    for (const char c : item) {
      if (c == '"' || c == '\\') out += '\\';
      if (static_cast<unsigned char>(c) < 0x20) continue;  // no store name holds one
      out += c;
    }
    out += '"';
  }
  return out + "]";
}

}  // namespace

std::vector<std::string> addTerminals(Store& store, const std::vector<FleetTerminal>& terminals) {
  // A serial terminal's name says nothing of its host: another host's row of that name is left
  // as it is, and said, rather than taken over (its own host would never collect it again).
  const std::string sql =
      "INSERT INTO terminals (terminal, name, capacity, clock, host, due) "
      "VALUES ($1, $2, CAST($3 AS BIGINT), $4, $5, 0) ON CONFLICT (terminal) DO UPDATE SET "
      "name = excluded.name, capacity = excluded.capacity, clock = excluded.clock, host = excluded.host "
      "WHERE terminals.host = excluded.host OR terminals.host = '' RETURNING terminal";
  std::vector<std::string> refused;
  for (const FleetTerminal& t : terminals) {
    const auto added = store.exchange(sql, {t.terminal, t.name, t.capacity ? std::optional(std::to_string(*t.capacity)) : std::nullopt,
                                            t.clock, t.host});
    if (added.empty()) refused.push_back(t.terminal);
  }
  return refused;
}

bool removeTerminal(Store& store, const std::string& terminalOrName) {
  return !store.exchange("DELETE FROM terminals WHERE terminal = $1 OR name = $1 RETURNING terminal", {terminalOrName})
              .empty();
}

std::vector<FleetTerminal> fleet(Store& store) {
  std::vector<FleetTerminal> out;
  for (const Store::Row& row : store.exchange(std::string("SELECT ") + kColumns + " FROM terminals ORDER BY terminal", {})) {
    out.push_back(terminalOf(row));
  }
  return out;
}

std::optional<FleetTerminal> claimOne(Store& store, const Claim& claim) {
  const Store::Dialect d = store.dialect();
  // A lapsed lease is a download that never ended (its collector died): due at once.
  // The row is locked by the inner SELECT, which re-checks it once locked: two collectors
  // claiming at the same instant never both get one terminal.
  // SQLite numbers parameters in the order they first appear: these appear in rising order.
  const std::string sql = "UPDATE terminals SET holder = $1, lease_until = " + d.now + " + CAST($2 AS BIGINT), due = " +
                          d.now + " + CAST($3 AS BIGINT) WHERE terminal = (SELECT terminal FROM terminals WHERE ((holder IS NULL AND due <= " +
                          d.now + ") OR lease_until < " + d.now +
                          ") AND (host = '' OR host = $4) AND (CAST($5 AS TEXT) IS NULL OR terminal IN (" + d.listBefore +
                          "$5" + d.listAfter + ")) ORDER BY due, terminal LIMIT 1 " + d.skipLocked + ") RETURNING " +
                          kColumns;
  const auto rows = store.exchange(sql, {claim.collector, std::to_string(claim.leaseSeconds),
                                         std::to_string(claim.everySeconds), claim.host,
                                         claim.only ? std::optional(jsonList(*claim.only)) : std::nullopt});
  if (rows.empty()) return std::nullopt;
  return terminalOf(rows.front());
}

std::int64_t renewLeases(Store& store, const std::string& collector, std::int64_t leaseSeconds) {
  return static_cast<std::int64_t>(
      store.exchange("UPDATE terminals SET lease_until = " + store.dialect().now +
                         " + CAST($1 AS BIGINT) WHERE holder = $2 RETURNING terminal",
                     {std::to_string(leaseSeconds), collector})
          .size());
}

void releaseLease(Store& store, const std::string& terminal, const std::string& collector) {
  store.exchange("UPDATE terminals SET holder = NULL, lease_until = NULL, last_holder = $1 "
                 "WHERE terminal = $2 AND holder = $1",
                 {collector, terminal});
}

std::string thisHost() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

std::string thisCollector() { return thisHost() + "/" + std::to_string(::getpid()); }

}  // namespace movar::store
