// A throwaway PostgreSQL server for one test (tests/store/pg_cluster.sh): its own folder, Unix
// socket and port; stopped with the object, and by the script's watch if the test process dies.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "host_runner.h"

namespace movar::itest {

class PgCluster {
 public:
  PgCluster() { installed_ = script("start", std::to_string(port_) + " " + std::to_string(::getpid())) != 77; }
  ~PgCluster() {
    if (running_) script("stop", "immediate");
  }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // False when no PostgreSQL server is installed here.
  bool installed() const { return installed_; }
  void start() { script("start", std::to_string(port_) + " " + std::to_string(::getpid())); }
  // `immediate`: as if the server crashed; the server rolls back what was not committed.
  void stop(const std::string& mode = "fast") { script("stop", mode); }

  std::string keywords() const {
    return "host=" + dir_.path().string() + " port=" + std::to_string(port_) + " user=movar dbname=postgres";
  }
  std::string uri() const {
    return "postgresql://movar@/postgres?host=" + dir_.path().string() + "&port=" + std::to_string(port_);
  }

 private:
  int script(const std::string& command, const std::string& arguments) {
    const int status = std::system((std::string(MOVAR_PG_CLUSTER_SCRIPT) + " " + command + " '" +
                                    dir_.path().string() + "' " + arguments).c_str());
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    running_ = code == 0 ? command == "start" : running_;
    if (code != 0 && code != 77) ADD_FAILURE() << "pg_cluster.sh " << command << " failed";
    return code;
  }

  TempDir dir_;
  int port_ = 20000 + ::getpid() % 20000;  // only names the socket, which is in a folder of its own
  bool installed_ = false;
  bool running_ = false;
};

}  // namespace movar::itest
