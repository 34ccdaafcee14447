// StreamFaults fields set by name, for the control channel:
//   lossRate, duplicateRate (0..1), seed, reorder, foreignDatagrams,
//   totalLength
// Booleans take 0/1/true/false/on/off; totalLength takes "none" to unset.
#pragma once

#include <string>
#include <string_view>

#include "emulator.h"

namespace vktemu {

// False with a message for an unknown name or a bad value; `faults` is
// then unchanged.
bool setStreamFault(StreamFaults& faults, std::string_view name, std::string_view value, std::string* error);

}  // namespace vktemu
