// The HTTP side: read-only routes over the store and the service's state. Nothing here can
// erase, restore or configure a terminal. Requests are bounded in size and time, and they are
// answered on threads of their own: a slow or hostile client never holds up a download.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serve/config.h"
#include "serve/site_state.h"
#include "store/store.h"

namespace httplib {
class Server;
}

namespace movar::serve {

struct HttpSources {
  SiteState* state = nullptr;
  // The service's reading connection; null until the store has been reached.
  std::function<std::shared_ptr<store::Store>()> reader;
  // A connection of its own for a long walk, so that one slow reader never holds the others.
  std::function<std::unique_ptr<store::Store>()> openReader;
  std::function<std::string()> token;  // empty: no token asked for
};

// Why the service is not healthy, or empty: the store refuses writes, no round has begun, or
// the latest began longer ago than a round and a half (and half a minute).
std::string healthProblem(const SiteSnapshot& site);

class HttpSite {
 public:
  explicit HttpSite(HttpSources sources);
  ~HttpSite();
  // Binds and answers on a thread of its own; throws std::runtime_error when it cannot bind.
  void start(const Listen& listen);
  void stop();

 private:
  struct DayCache;
  HttpSources sources_;
  std::unique_ptr<DayCache> days_;
  std::unique_ptr<httplib::Server> server_;
  std::thread listening_;
};

}  // namespace movar::serve
