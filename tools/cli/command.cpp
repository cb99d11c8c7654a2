#include "command.h"

#include <algorithm>

#include "arguments.h"
#include "store/location.h"

namespace movar::cli {

namespace {

bool any(const std::vector<Use>& uses, auto predicate) { return std::any_of(uses.begin(), uses.end(), predicate); }

}  // namespace

void Definition::addSharedOptions(CLI::App& leaf, const std::vector<Use>& uses, bool encoding) const {
  if (any(uses, [](const Use& u) { return u.target == TargetUse::One; })) addTargetOptions(leaf, common);
  if (any(uses, [](const Use& u) { return u.target != TargetUse::None; })) addDirectoryOption(leaf, common);
  if (encoding) addEncodingOption(leaf, common);
  addJsonOption(leaf, common);
  if (any(uses, [](const Use& u) { return u.store != StoreUse::None; })) addStoreOption(leaf, common, storeUsers);
  if (!any(uses, [](const Use& u) { return u.target != TargetUse::None; })) {
    leaf.description(leaf.get_description() + " [no terminal]");
  }
}

std::string storeUsersOf(const std::vector<Use>& uses) {
  std::vector<std::string> forms;
  for (const Use& u : uses) {
    if (u.store != StoreUse::None && std::find(forms.begin(), forms.end(), u.form) == forms.end()) {
      forms.push_back(u.form);
    }
  }
  std::string text;
  for (std::size_t k = 0; k < forms.size(); ++k) {
    text += (k == 0 ? "" : k + 1 == forms.size() ? " and " : ", ") + forms[k];
  }
  return text;
}

void checkShared(const Use& use, const Common& common, const std::string& storeUsers) {
  if (!common.store.empty()) {
    const store::Location location = store::readLocation(common.store);
    if (!location.problem.empty()) throw UsageError("--store: " + location.problem);
    if (use.store == StoreUse::None) throw UsageError("--store goes with " + storeUsers);
  } else if (use.store == StoreUse::Reads || use.store == StoreUse::Writes) {
    throw UsageError("give --store: a SQLite file or a PostgreSQL URI");
  }
  const collect::Target target = checkedTarget(common);
  const bool given = target.kind != collect::Target::Kind::None;
  if (use.target == TargetUse::None && given) throw UsageError("no --com, --device or --ip here");
  if (use.target == TargetUse::List && given) {
    throw UsageError("the terminals come from --ips; no --com, --device or --ip");
  }
  if (use.target == TargetUse::One && !given) {
    throw UsageError("give --com N [--addr A], --device PATH or --ip A.B.C.D");
  }
}

}  // namespace movar::cli
