// The camera's maintenance commands: saving the configuration (100) and the
// two resets (103, 104) that restore the factory settings and restart it.
#pragma once

#include "command_handlers.h"

namespace vktemu {

void addMaintenanceCommands(CommandTable& table);

}  // namespace vktemu
