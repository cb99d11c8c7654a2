#include "link/failure.h"

#include <utility>

namespace movar {

namespace {

struct Failure {
  FailureKind kind = FailureKind::None;
  std::string text;
};

thread_local Failure tlsFailure;

}  // namespace

void clearFailure() noexcept {
  tlsFailure.kind = FailureKind::None;
  tlsFailure.text.clear();
}

void recordFailure(FailureKind kind, std::string text) {
  tlsFailure.kind = kind;
  tlsFailure.text = std::move(text);
}

FailureKind lastFailureKind() noexcept { return tlsFailure.kind; }
const std::string& lastFailureText() noexcept { return tlsFailure.text; }

void recordInternalFailure(const char* what) noexcept {
  tlsFailure.kind = FailureKind::Internal;
  try {
    tlsFailure.text = std::string("internal error: ") + (what ? what : "unknown exception");
  } catch (...) {
    tlsFailure.text.clear();  // the code still tells
  }
}

}  // namespace movar
