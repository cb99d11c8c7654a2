#include "common_options.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "arguments.h"

namespace movar::cli {

void addTargetOptions(CLI::App& app, Common& c) {
  app.add_option("--com", c.com, "serial: the COM port at which the search starts (1-9)")->type_name("N");
  app.add_option("--addr", c.address, "serial: the terminal's machine address (0-255, default 1)")
      ->type_name("A");
  app.add_option("--device", c.device, "serial: a device path for the search's first port (as MOVAR_COM<n> would)")
      ->type_name("PATH");
  app.add_option("--ip", c.ip, "TCP: the terminal's IPv4 address (port 1024)")->type_name("A.B.C.D");
}

void addDirectoryOption(CLI::App& app, Common& c) {
  app.add_option("--dir", c.directory, "where record files and backups go (made when missing)")
      ->type_name("DIR")
      ->capture_default_str();
}

void addEncodingOption(CLI::App& app, Common& c) {
  app.add_option("--encoding", c.encoding,
                 "the terminal's character set for names and voice texts (iconv name, or raw)")
      ->type_name("CHARSET");
}

void addJsonOption(CLI::App& app, Common& c) {
  app.add_flag("--json", c.json, "one JSON object per result or record");
}

void addStoreOption(CLI::App& app, Common& c, const std::string& users) {
  app.add_option("--store", c.store,
                 "the record store: a SQLite file (made when missing), or a PostgreSQL database by "
                 "URI (postgresql://user@host/db) or libpq \"key=value\" string; taken by " + users)
      ->type_name("STORE");
}

collect::Target checkedTarget(const Common& t) {
  using collect::Target;
  const int given = !t.ip.empty() + (!t.com.empty() || !t.device.empty());
  if (given > 1) throw UsageError("one target only: --ip, or --com/--device (with --addr)");
  if (!t.ip.empty()) {
    if (!t.address.empty()) throw UsageError("--addr: serial only; a TCP terminal is named by --ip");
    if (!isIpv4Address(t.ip)) {
      throw UsageError("--ip: \"" + t.ip + "\" is not an IPv4 address (four decimal fields 0-255, "
                       "no leading zeros, nothing else)");
    }
    return {Target::Kind::Tcp, 0, 0, t.ip};
  }
  const std::int32_t address = t.address.empty() ? 1 : checkedNumber("--addr", t.address, 0, 255);
  if (t.com.empty() && t.device.empty()) {
    if (!t.address.empty()) throw UsageError("--addr: give --com N or --device PATH too");
    return {};
  }
  const std::int32_t port = t.com.empty() ? 1 : checkedNumber("--com", t.com, 1, 9);
  if (!t.device.empty()) {
    ::setenv(("MOVAR_COM" + std::to_string(port)).c_str(), t.device.c_str(), 1);
  }
  return {Target::Kind::Serial, address, port, ""};
}

std::unique_ptr<store::Store> openStoreFor(const Common& c, StoreUse use) {
  if (c.store.empty() || use == StoreUse::None) return nullptr;
  auto opened = store::openStore(c.store, use == StoreUse::Reads ? store::Access::Read : store::Access::ReadWrite);
  if (use == StoreUse::Keeps) opened->proveWritable();
  return opened;
}

void makeDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) throw std::runtime_error("cannot make the directory " + directory + ": " + error.message());
}

}  // namespace movar::cli
