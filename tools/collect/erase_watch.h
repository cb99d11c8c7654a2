// A download's erase as the tools see it: held until the records are in the record store (with
// one), and told apart afterwards: never reached, held, done, or failed. The
// library asks just before it erases, once every file it wrote is synced.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace movar::collect {

class EraseWatch final : public EraseGate {
 public:
  // Puts the records where they must be before the terminal lets them go: empty when done,
  // else why not. None: the library's own files are all there is to keep.
  using Keep = std::function<std::string()>;
  explicit EraseWatch(Keep keep = {}) : keep_(std::move(keep)) {}

  bool mayErase() override;
  void erased(bool done) override;

  enum class Outcome { NotAsked, Held, Erased, EraseFailed };
  Outcome outcome() const { return outcome_; }
  const std::string& heldBecause() const { return heldBecause_; }

 private:
  Keep keep_;
  Outcome outcome_ = Outcome::NotAsked;
  std::string heldBecause_;
};

// For a download whose transfer succeeded (result 0) and that erases afterwards: empty when the
// terminal was erased, else what became of its records ("received 300 records, but not erased:
// cannot create ..."), from the watch and the library's failure account.
std::string notErased(const EraseWatch& watch, long records);

// Why the calling thread's last library call failed, from the library's own account (each call
// starts with clearFailure()); else the last "Open Error" text the call showed.
std::string failureReason(const std::string& shownToTheUser = "");

}  // namespace movar::collect
