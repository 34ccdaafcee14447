// The discovery exports.
#include "VKTNetSDK11.h"
#include "api/entry.h"
#include "discovery/change_ip.h"
#include "discovery/search.h"

extern "C" VKT_API int VKT_SearchCamera(DeviceRecord* records, int capacity, int* count, unsigned int timeoutMs) {
  if (!vkt::EnterCheckedCall()) return 1;
  return vkt::discovery::SearchCameras(records, capacity, count, timeoutMs);
}

extern "C" VKT_API int VKT_ChangeCameraIP(const ChangeIPParam* param, unsigned int timeoutMs) {
  if (!vkt::EnterCheckedCall()) return 1;
  return vkt::discovery::ChangeCameraIp(param, timeoutMs);
}

extern "C" VKT_API int VKT_GetSearchInterface(const DeviceRecord* record, char* name, int nameSize) {
  if (!vkt::EnterCheckedCall()) return 1;
  return vkt::discovery::SearchInterface(record, name, nameSize);
}
