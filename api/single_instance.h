// One process at a time may use the library (per network namespace).
#pragma once

namespace vkt {

// Claims the host-wide name "VKT_SDK_ONE_INSTANCE_EVENT". True when this
// process holds it (now or from an earlier call). The name vanishes with the
// process, however it ends.
bool ClaimSingleInstance();
// Gives the name up (at unload).
void ReleaseSingleInstance();

}  // namespace vkt
