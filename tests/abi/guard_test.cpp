// Every entry point against a process platform whose every call throws std::bad_alloc: each must
// return its own failure result instead of letting the exception reach the host.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <type_traits>

#include "exports/export_abi.h"
#include "platform/platform.h"

namespace movar {
namespace {

[[noreturn]] void fail() { throw std::bad_alloc(); }

struct ThrowingClock final : Clock {
  Millis now() override { fail(); }
  void sleep(Millis) override { fail(); }
  LocalTime localTime() override { fail(); }
};
struct ThrowingSerial final : SerialPorts {
  std::unique_ptr<SerialLine> open(int, const LineSettings&) override { fail(); }
};
struct ThrowingNetwork final : Network {
  Connection connect(const char*, std::uint16_t) override { fail(); }
};
struct ThrowingFiles final : Files {
  std::string recordDirectory() override { fail(); }
  char separator() const override { fail(); }
  std::unique_ptr<File> create(const std::string&) override { fail(); }
  std::unique_ptr<File> openRead(const std::string&) override { fail(); }
  std::unique_ptr<File> openReadWrite(const std::string&) override { fail(); }
  std::unique_ptr<File> openOrCreate(const std::string&) override { fail(); }
  bool exists(const std::string&) override { fail(); }
  bool isDirectory(const std::string&) override { fail(); }
  bool makeDirectory(const std::string&) override { fail(); }
  bool copyNoOverwrite(const std::string&, const std::string&) override { fail(); }
  bool move(const std::string&, const std::string&) override { fail(); }
  bool replace(const std::string&, const std::string&) override { fail(); }
  bool remove(const std::string&) override { fail(); }
  bool sync(const std::string&) override { fail(); }
  bool isPlainDirectory(const std::string&) override { fail(); }
  std::unique_ptr<RecordFileLock> lockRecordFile(const std::string&) override { fail(); }
};
struct ThrowingUi final : Ui {
  std::unique_ptr<ProgressWindow> showProgress(ProgressWindowKind) override { fail(); }
  void messageBox(const std::string&) override { fail(); }
};

// Arguments that get every export past its own checks to its first platform call: a number that
// is a port and an address, and a counted text (count 1, length 2) that is also a plain one.
alignas(4) char countedText[12] = {1, 0, 0, 0, 2, 0, 0, 0, '1', '\\', 0, 0};

template <class T>
T argument() {
  if constexpr (std::is_pointer_v<T>) {
    return countedText + 8;
  } else {
    return T{1};
  }
}

template <class Result, class... Parameters>
Result callWithArguments(Result (*entry)(Parameters...)) {
  return entry(argument<Parameters>()...);
}

bool sameResult(std::int32_t a, std::int32_t b) { return a == b; }
bool sameResult(const char* a, const char* b) { return a && std::strcmp(a, b) == 0; }

TEST(EntryGuard, EveryExportGivesItsFailureResultWhenThePlatformThrows) {
  int exports = 0;
#define MOVAR_CHECK_ROW(result, name, failed, parameters)                                      \
  ++exports;                                                                                    \
  EXPECT_TRUE(sameResult(callWithArguments(&MOVAR_ENTRY(name)), exports::failure::name)) << #name;
  MOVAR_EXPORT_ROWS(MOVAR_CHECK_ROW)
#undef MOVAR_CHECK_ROW
  EXPECT_GT(exports, 0);
  EXPECT_EQ(countedText[0], 1);  // every count raised for a call was lowered again
}

// The extensions behind the same guard: the record directory fails as 1, and the failure readers
// then tell the caught exception as MOVAR_E_INTERNAL until the next call replaces it.
TEST(EntryGuard, ExtensionsGiveTheirFailureResultsAndTellTheCaughtException) {
  EXPECT_EQ(movar_set_record_directory("/tmp"), exports::failure::movar_set_record_directory);
  EXPECT_EQ(movar_last_error_code(), MOVAR_E_INTERNAL);
  EXPECT_STREQ(movar_last_error(), "internal error: std::bad_alloc");
  EXPECT_STREQ(movar_version(), MOVAR_VERSION);
  EXPECT_EQ(_LANENABLEALL(""), 1);  // refused before the platform is touched
  EXPECT_EQ(movar_last_error_code(), MOVAR_E_ARGUMENT);
  EXPECT_STREQ(movar_last_error(), "invalid IPv4 address text \"\"");
}

}  // namespace

Platform& processPlatform() {
  static ThrowingClock clock;
  static ThrowingSerial serial;
  static ThrowingNetwork network;
  static ThrowingFiles files;
  static ThrowingUi ui;
  static Platform platform{clock, serial, network, files, ui};
  return platform;
}

}  // namespace movar
