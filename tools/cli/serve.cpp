#include "serve.h"

#include "serve/service.h"

namespace movar::cli {

ServeCommand addServe(CLI::App& app) {
  ServeCommand c;
  c.app = app.add_subcommand("serve", "collect a site on a schedule and answer HTTP: status page, API, "
                                      "metrics (SIGHUP reads the file again) [no terminal options]");
  c.app->add_option("--config", c.config, "the site's TOML file (tools/serve/site.toml is an example)")
      ->type_name("FILE")
      ->required();
  return c;
}

int runServe(const ServeCommand& command) { return serve::serveSite(command.config); }

}  // namespace movar::cli
