// The snapshot request (102): a bare acknowledgement, then the picture is
// pushed to the registered target once the reply is out.
#pragma once

#include "command_handlers.h"

namespace vktemu {

void addPictureCommands(CommandTable& table);

}  // namespace vktemu
