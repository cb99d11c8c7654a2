#include "failure_words.h"

#include "arguments.h"
#include "store/location.h"
#include "storing.h"

namespace movar::cli {

Said inWords(const std::exception& error, const Common& common) {
  const bool usage = dynamic_cast<const UsageError*>(&error) != nullptr;
  if (const auto* trouble = dynamic_cast<const store::StoreError*>(&error)) {
    return {store::withoutPassword(storeTrouble(*trouble), common.store), 1};
  }
  return {store::withoutPassword(error.what(), common.store), usage ? 2 : 1};
}

}  // namespace movar::cli
