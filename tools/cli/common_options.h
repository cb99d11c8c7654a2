// The options many commands share: the target, --dir, --encoding, --json, --store. They are
// taken before the command's name and after it alike.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "collect/target.h"
#include "store/store.h"

namespace movar::cli {

enum class TargetUse {
  None,  // no terminal: files, the store
  One,   // --com/--device (with --addr) or --ip
  List,  // the terminals of a list file
};

enum class StoreUse {
  None,
  Keeps,   // --store optional: what the terminal gives goes into it
  Reads,   // --store required, only read
  Writes,  // --store required, written
};

struct Common {
  std::string com, address, ip, device, encoding, store;
  std::string directory = ".";
  bool json = false;
};

void addTargetOptions(CLI::App& app, Common& common);
void addDirectoryOption(CLI::App& app, Common& common);
void addEncodingOption(CLI::App& app, Common& common);
void addJsonOption(CLI::App& app, Common& common);
// `users`: the forms that take it, said in its help.
void addStoreOption(CLI::App& app, Common& common, const std::string& users);

// The target typed, checked; Kind::None when none was given. (--device sets the MOVAR_COM<n>
// the serial search reads.)
collect::Target checkedTarget(const Common& common);

// --store opened as `use` needs it; nullptr without --store. One that keeps what a terminal
// gives is proven writable first, so that a store that would refuse it stops the command
// before the terminal is touched.
std::unique_ptr<store::Store> openStoreFor(const Common& common, StoreUse use);

// --dir, made when missing.
void makeDirectory(const std::string& directory);

}  // namespace movar::cli
