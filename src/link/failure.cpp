#include "link/failure.h"

#include <cstdio>
#include <utility>

#include "platform/platform.h"

namespace movar {

namespace {

struct Failure {
  FailureKind kind = FailureKind::None;
  std::string text;
  bool standing = false;
};

thread_local Failure tlsFailure;

}  // namespace

void clearFailure() noexcept {
  tlsFailure.kind = FailureKind::None;
  tlsFailure.text.clear();
  tlsFailure.standing = false;
}

void recordFailure(FailureKind kind, std::string text) {
  tlsFailure.kind = kind;
  tlsFailure.text = std::move(text);
  tlsFailure.standing = false;
}

void keepFailureThroughSuccess() noexcept {
  tlsFailure.standing = tlsFailure.kind != FailureKind::None;
}

bool failureStandsThroughSuccess() noexcept { return tlsFailure.standing; }

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

FailureKept::FailureKept() : kind_(tlsFailure.kind), text_(tlsFailure.text) {}

FailureKept::~FailureKept() {
  if (kind_ == FailureKind::None) return;
  tlsFailure.kind = kind_;
  tlsFailure.text.swap(text_);
}

void recordFileFailure(Files& files, std::string_view action, const std::string& path) {
  const std::string reason = files.lastErrorText();
  std::string text = "cannot ";
  text.append(action).append(" ").append(path);
  if (!reason.empty()) text.append(": ").append(reason);
  recordFailure(FailureKind::File, std::move(text));
}

std::string describePorts(const std::vector<int>& ports) {
  std::string text;
  for (std::size_t i = 0; i < ports.size();) {
    std::size_t last = i;
    // In 64 bits: a caller's port may be INT_MAX.
    while (last + 1 < ports.size() && std::int64_t{ports[last + 1]} == std::int64_t{ports[last]} + 1) ++last;
    if (!text.empty()) text += ", ";
    text += "COM" + std::to_string(ports[i]);
    if (last > i) text += "-COM" + std::to_string(ports[last]);
    i = last + 1;
  }
  return text;
}

std::string hexByte(unsigned byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte & 0xFFu);
  return text;
}

}  // namespace movar
