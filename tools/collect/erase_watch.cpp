#include "collect/erase_watch.h"

#include <exception>

#include "link/failure.h"

namespace movar::collect {

bool EraseWatch::mayErase() {
  std::string why;
  try {
    if (keep_) why = keep_();
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (why.empty()) return true;
  outcome_ = Outcome::Held;
  heldBecause_ = why;
  return false;
}

void EraseWatch::erased(bool done) { outcome_ = done ? Outcome::Erased : Outcome::EraseFailed; }

std::string failureReason(const std::string& shownToTheUser) {
  if (!lastFailureText().empty()) return lastFailureText();
  if (!shownToTheUser.empty()) return shownToTheUser;
  return "the library recorded no reason";
}

std::string notErased(const EraseWatch& watch, long records) {
  const std::string received = "received " + std::to_string(records) + " records";
  switch (watch.outcome()) {
    case EraseWatch::Outcome::Erased: return "";
    case EraseWatch::Outcome::NotAsked:
      return received + ", but not erased: " + failureReason();
    case EraseWatch::Outcome::Held:
      return received + ", but not erased: not in the store (the record files keep them): " +
             watch.heldBecause();
    case EraseWatch::Outcome::EraseFailed:
      return received + " and kept them, but the erase failed: " +
             (lastFailureText().empty() ? std::string("the terminal did not confirm it") : lastFailureText());
  }
  return "";
}

}  // namespace movar::collect
