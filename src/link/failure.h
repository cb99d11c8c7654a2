// Why the calling thread's last call failed: recorded by the flow where it fails, read by the
// hosts (movar_last_error) and the command line. Per thread, so parallel calls never mix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace movar {

class Files;

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
// The cause just recorded stands although the call reports success: a download whose records
// arrived but were not erased from the terminal (the host must be able to ask why).
void keepFailureThroughSuccess() noexcept;
bool failureStandsThroughSuccess() noexcept;
const std::string& lastFailureText() noexcept;

// For the entry guard: never throws, even when the text cannot be built.
void recordInternalFailure(const char* what) noexcept;

// Keeps the cause already recorded through a clean-up step that may record its own (the
// conversion after a failed download): the first cause is the one the host must hear.
class FailureKept {
 public:
  FailureKept();
  ~FailureKept();
  FailureKept(const FailureKept&) = delete;
  FailureKept& operator=(const FailureKept&) = delete;

 private:
  FailureKind kind_;
  std::string text_;
};

// "cannot <action> <path>: <the system's reason>". Call it right after the failed file call,
// before anything else can replace the system's last error.
void recordFileFailure(Files& files, std::string_view action, const std::string& path);

// "COM7, COM1-COM4": runs of consecutive ports joined.
std::string describePorts(const std::vector<int>& ports);

// "0x15"
std::string hexByte(unsigned byte);

}  // namespace movar
