// The camera's clock on the command channel: reading it (1070), setting it
// (1071) and synchronising it with NTP (101, two replies).
#pragma once

#include "command_handlers.h"

namespace vktemu {

void addClockCommands(CommandTable& table);

}  // namespace vktemu
