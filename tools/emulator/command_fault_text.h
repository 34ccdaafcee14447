// CommandFaults fields set by name, for the control channel:
//   delayMs, noReply, sequenceDelta, commandDelta, status, closeAfterBytes,
//   announcedLength, completionDelayMs, noCompletion, completionStatus,
//   completionCommand
// Booleans take 0/1/true/false/on/off; the optional fields (status,
// announcedLength, completionStatus, completionCommand) take "none" to unset.
#pragma once

#include <string>
#include <string_view>

#include "emulator.h"

namespace vktemu {

// False with a message for an unknown name or a bad value; `faults` is
// then unchanged.
bool setCommandFault(CommandFaults& faults, std::string_view name, std::string_view value, std::string* error);

}  // namespace vktemu
