// PushFaults fields set by name, for the control channel:
//   chunkBytes, chunkDelayMs, badMarker, app1Length, totalLength, sendBytes,
//   padTo, holdOpen, stuckAfter, sendBufferBytes
// Booleans take 0/1/true/false/on/off; the optional fields (app1Length,
// totalLength, sendBytes, stuckAfter) take "none" to unset.
#pragma once

#include <string>
#include <string_view>

#include "emulator.h"

namespace vktemu {

// False with a message for an unknown name or a bad value; `faults` is
// then unchanged.
bool setPushFault(PushFaults& faults, std::string_view name, std::string_view value, std::string* error);

}  // namespace vktemu
