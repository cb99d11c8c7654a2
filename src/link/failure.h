// Why the calling thread's last call failed: recorded by the flow where it fails, read by the
// hosts (movar_last_error) and the command line. Per thread, so parallel calls never mix.
#pragma once

#include <cstdint>
#include <string>

namespace movar {

// The values of movar_error_code in movar.h.
enum class FailureKind : std::int32_t {
  None = 0,
  Argument,
  NoPort,
  NoAnswer,
  Connect,
  Refused,
  Transfer,
  File,
  Modem,
  Internal
};

void clearFailure() noexcept;
// The latest record wins: a flow records the cause it ends on.
void recordFailure(FailureKind kind, std::string text);
FailureKind lastFailureKind() noexcept;
const std::string& lastFailureText() noexcept;

// For the entry guard: never throws, even when the text cannot be built.
void recordInternalFailure(const char* what) noexcept;

}  // namespace movar
