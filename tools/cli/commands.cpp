#include "commands.h"

namespace movar::cli {

std::vector<std::unique_ptr<Command>> commands() {
  std::vector<std::unique_ptr<Command>> table;
  table.push_back(rowCommands());
  table.push_back(showCommand());
  table.push_back(recordsCommand());
  table.push_back(statusCommand());
  table.push_back(storeCommand());
  table.push_back(collectCommand());
  table.push_back(serveCommand());
  table.push_back(fleetCommand());
  return table;
}

}  // namespace movar::cli
