// Giving a camera a new address by broadcast.
#pragma once

#include "VKTNetSDK11.h"

namespace vkt::discovery {

// VKT_ChangeCameraIP after its start check.
int ChangeCameraIp(const ChangeIPParam* param, unsigned int timeoutMs);

}  // namespace vkt::discovery
