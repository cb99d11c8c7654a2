// Each command's maker, for the table in commands.cpp.
#pragma once

#include <memory>

#include "command.h"

namespace movar::cli {

std::unique_ptr<Command> rowCommands();  // the capability table's rows, realtime --watch
std::unique_ptr<Command> showCommand();
std::unique_ptr<Command> recordsCommand();
std::unique_ptr<Command> statusCommand();
std::unique_ptr<Command> storeCommand();
std::unique_ptr<Command> collectCommand();
std::unique_ptr<Command> serveCommand();
std::unique_ptr<Command> fleetCommand();

}  // namespace movar::cli
