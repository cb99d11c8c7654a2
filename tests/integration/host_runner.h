// Runs movar-host from a temporary directory, so the library's record directory is that directory.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace movar::itest {

struct HostRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  // The integer after "result ", or the text after "text ".
  int result() const { return std::stoi(field("result ")); }
  // The results of calls run together, in the order given.
  std::vector<int> results() const {
    std::vector<int> all;
    for (auto at = out.find("result "); at != std::string::npos; at = out.find("result ", at + 1)) {
      all.push_back(std::stoi(out.substr(at + 7)));
    }
    return all;
  }
  std::string text() const { return field("text "); }
  // How long the calls took, without the process's start and end (valgrind's are long).
  double seconds() const { return std::stod(field("seconds ")); }
  std::string field(const std::string& key) const {
    const auto at = out.find(key);
    if (at == std::string::npos) return "";
    const auto end = out.find('\n', at);
    return out.substr(at + key.size(), end - at - key.size());
  }
};

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// `make memcheck` runs every host under valgrind, which exits with this when it found an error.
constexpr int kWrapperErrorExit = 99;

// Runs `program` with `dir` as its working directory, under $MOVAR_TEST_WRAPPER when set.
inline HostRun runIn(const std::filesystem::path& dir, const std::string& program,
                     const std::vector<std::string>& args) {
  // Named per run: hosts may run side by side in one directory.
  static std::atomic<int> runs{0};
  const std::string runId = std::to_string(::getpid()) + "-" + std::to_string(runs++);
  const std::filesystem::path out = dir / (".host-out-" + runId);
  const std::filesystem::path err = dir / (".host-err-" + runId);
  const char* wrapper = std::getenv("MOVAR_TEST_WRAPPER");
  // Each word in single quotes, a quote inside one as '\'' (an argument may hold any text).
  const auto quoted = [](const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  std::string command = "cd " + quoted(dir.string()) + " && " + (wrapper ? wrapper : "") + " " + quoted(program);
  for (const std::string& a : args) command += " " + quoted(a);
  command += " >'" + out.string() + "' 2>'" + err.string() + "'";
  HostRun run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readFile(out);
  run.err = readFile(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  if (wrapper != nullptr && run.exitCode == kWrapperErrorExit) ADD_FAILURE() << program << ":\n" << run.err;
  return run;
}

// Copies movar-host into `dir` and runs it there with the given arguments.
inline HostRun runHost(const std::filesystem::path& dir, const std::vector<std::string>& args) {
  const std::filesystem::path host = dir / "movar-host";
  if (!std::filesystem::exists(host)) {
    std::filesystem::copy_file(MOVAR_HOST_PATH, host);
  }
  return runIn(dir, "./movar-host", args);
}

}  // namespace movar::itest
