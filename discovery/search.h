// Broadcast search for cameras and the process-wide list of what it found.
#pragma once

#include "VKTNetSDK11.h"

namespace vkt::discovery {

// VKT_SearchCamera after its start check.
int SearchCameras(DeviceRecord* records, int capacity, int* count, unsigned int timeoutMs);

}  // namespace vkt::discovery
