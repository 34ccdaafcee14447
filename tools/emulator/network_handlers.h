// The network setting's Set (1017): a new address moves the camera, as a
// change-IP request does.
#pragma once

#include "command_handlers.h"

namespace vktemu {

// Registered after addSettingCommands(), whose plain Set it replaces.
void addNetworkCommands(CommandTable& table);

}  // namespace vktemu
