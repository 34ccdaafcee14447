// The stream mode (501): the models that wait for it start and stop their
// stream on it; the others refuse it.
#pragma once

#include "command_handlers.h"

namespace vktemu {

void addStreamCommands(CommandTable& table);

}  // namespace vktemu
