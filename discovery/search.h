// Broadcast search for cameras and the process-wide list of what it found.
#pragma once

#include <vector>

#include "VKTNetSDK11.h"

namespace vkt::discovery {

// VKT_SearchCamera after its start check.
int SearchCameras(DeviceRecord* records, int capacity, int* count, unsigned int timeoutMs);

// Searches for `timeoutMs` (0: no new search) and copies the whole result
// into `found`, as one step no other search can come between. 0, or 1 with
// the last error set.
int SearchAndCopy(unsigned int timeoutMs, std::vector<DeviceRecord>& found);

// VKT_GetSearchInterface after its start check.
int SearchInterface(const DeviceRecord* record, char* name, int capacity);

}  // namespace vkt::discovery
