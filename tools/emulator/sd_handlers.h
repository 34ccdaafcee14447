// The SD card commands: state (1200), format (1205) and its progress
// (1206), directory listing (1210), picture fetch (1216) and delete (1217).
// A request with a payload of another size than the command's gets -3.
#pragma once

#include "command_handlers.h"

namespace vktemu {

void addSdCardCommands(CommandTable& table);

}  // namespace vktemu
