// Every export with hostile arguments, through the library, from a record directory of its own:
// each call gives its failure result in bounded time and writes nothing outside the record
// directory or the directory it was handed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "host_runner.h"

namespace movar::itest {
namespace {

namespace fs = std::filesystem;

std::set<std::string> entriesBelow(const fs::path& root) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    out.insert(fs::relative(e.path(), root).string());
  }
  return out;
}

TEST(HostileArguments, EveryExportRefusesInBoundedTimeAndWritesOnlyWhereAllowed) {
  TempDir root;
  const fs::path app = root.path() / "app", given = root.path() / "given";
  fs::create_directories(app);
  fs::create_directories(given / "sub");
  std::ofstream(given / "afile") << "a file where a directory should be";
  // Record files beside the given directory, for names that climb out of it and for the
  // directory without its separator: refused, they can never be converted.
  for (const char* beside : {"movar.dat", "givenmovar.dat"}) {
    std::ofstream(root.path() / beside) << std::string(6, '\0');
  }
  fs::copy_file(MOVAR_HOSTILE_PATH, app / "movar-hostile");

  const HostRun run = runIn(given / "sub", (app / "movar-hostile").string(), {given.string() + "/"});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("calls "), std::string::npos) << run.err;

  const std::set<std::string> placed{"app", "given", "movar.dat", "givenmovar.dat"};
  for (const std::string& e : entriesBelow(root.path())) {
    EXPECT_TRUE(placed.count(e) || e.starts_with("app/") || e.starts_with("given/")) << e;
  }
}

}  // namespace
}  // namespace movar::itest
