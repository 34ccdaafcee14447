// The exported members of the settings family: each is the call frame
// around one row of the table (one per member of the settings list), or
// around one named special case.
#include "VKTNetSDK11.h"
#include "api/call_frame.h"
#include "settings/camera_clock.h"
#include "settings/settings_family.h"
#include "settings/settings_list.h"
#include "settings/trigger_flash.h"

namespace {

using vkt::CameraContext;
using vkt::settings::MemberId;
using vkt::settings::MemberOf;

int RunGet(int handle, void* out, unsigned int timeoutMs, MemberId id) {
  return vkt::RunCameraCall(handle, timeoutMs, [&](CameraContext& camera, uint32_t ms) {
    return vkt::settings::GetMember(camera, MemberOf(id), out, ms);
  });
}

int RunSet(int handle, const void* in, unsigned int timeoutMs, MemberId id) {
  return vkt::RunCameraCall(handle, timeoutMs, [&](CameraContext& camera, uint32_t ms) {
    return vkt::settings::SetMember(camera, MemberOf(id), in, ms);
  });
}

}  // namespace

// A Get or GetDefault into `Type *out`.
#define VKT_GET(name, Type, id) \
  extern "C" VKT_API int name(int camera, Type* out, unsigned int timeoutMs) { return RunGet(camera, out, timeoutMs, id); }
// A Set of a single value.
#define VKT_SET_VALUE(name, id) \
  extern "C" VKT_API int name(int camera, int value, unsigned int timeoutMs) { return RunSet(camera, &value, timeoutMs, id); }
// A Set of a record passed by pointer.
#define VKT_SET_RECORD(name, Type, id)                                               \
  extern "C" VKT_API int name(int camera, const Type* in, unsigned int timeoutMs) { \
    return RunSet(camera, in, timeoutMs, id);                                         \
  }
// A Set of a record passed by value.
#define VKT_SET_RECORD_BY_VALUE(name, Type, id) \
  extern "C" VKT_API int name(int camera, Type in, unsigned int timeoutMs) { return RunSet(camera, &in, timeoutMs, id); }

// Every member of the settings list.
#define VKT_SET_EXPORTED(Name, Type) VKT_SET_RECORD(VKT_Set##Name, Type, MemberId::kSet##Name)
#define VKT_SET_OWN_SET(Name, Type)
#define VKT_EXPORT_RECORD(Name, Type, get, models, shortSize, set)             \
  VKT_GET(VKT_GetDefault##Name, Type, MemberId::kGetDefault##Name)             \
  VKT_GET(VKT_Get##Name, Type, MemberId::kGet##Name)                           \
  VKT_SET_##set(Name, Type)
#define VKT_EXPORT_VALUE(Name, ...)                                    \
  VKT_GET(VKT_GetDefault##Name, int, MemberId::kGetDefault##Name)      \
  VKT_GET(VKT_Get##Name, int, MemberId::kGet##Name)                    \
  VKT_SET_VALUE(VKT_Set##Name, MemberId::kSet##Name)
#define VKT_EXPORT_WRITTEN_VALUE(Slot, GetName, SetName, ...) \
  VKT_GET(VKT_##GetName, int, MemberId::k##GetName)           \
  VKT_SET_VALUE(VKT_##SetName, MemberId::k##SetName)
#define VKT_EXPORT_WRITTEN_RECORD(Name, Type, get)      \
  VKT_GET(VKT_Get##Name, Type, MemberId::kGet##Name) \
  VKT_SET_RECORD_BY_VALUE(VKT_Set##Name, Type, MemberId::kSet##Name)
#define VKT_EXPORT_READ(Name, ...) VKT_GET(VKT_Get##Name, int, MemberId::kGet##Name)
#define VKT_EXPORT_WRITE(Name, set) VKT_SET_VALUE(VKT_##Name, MemberId::k##Name)
#define VKT_EXPORT_READ_WRITE(Name, ...) \
  VKT_EXPORT_READ(Name)                   \
  VKT_SET_VALUE(VKT_Set##Name, MemberId::kSet##Name)

VKT_SETTINGS(VKT_EXPORT_RECORD, VKT_EXPORT_VALUE, VKT_EXPORT_WRITTEN_VALUE, VKT_EXPORT_WRITTEN_RECORD, VKT_EXPORT_READ,
             VKT_EXPORT_WRITE, VKT_EXPORT_READ_WRITE, VKT_SETTING_NONE)

extern "C" VKT_API int VKT_GetState(int camera, int* state, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::GetState(c, state, ms); });
}

extern "C" VKT_API int VKT_ResetCamera(int camera, int mode, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::ResetCamera(c, mode, ms); });
}

extern "C" VKT_API int VKT_SaveConfig(int camera, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::SaveConfig(c, ms); });
}

extern "C" VKT_API int VKT_GetParamState(int camera, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::GetParamState(c, ms); });
}

// The network record's Set readdresses the camera.
extern "C" VKT_API int VKT_SetNetWorkParam(int camera, const NetWorkParam* in, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::SetNetWorkParam(c, in, ms); });
}

extern "C" VKT_API int VKT_GetDateTime(int camera, SYSTEMTIME* time, int* extra, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs, [&](CameraContext& c, uint32_t ms) {
    return vkt::settings::GetDateTime(c, time, extra, ms);
  });
}

extern "C" VKT_API int VKT_SetDateTime(int camera, const SYSTEMTIME* time, int extra, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs, [&](CameraContext& c, uint32_t ms) {
    return vkt::settings::SetDateTime(c, time, extra, ms);
  });
}

extern "C" VKT_API int VKT_NTPTiming(int camera, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::NtpTiming(c, ms); });
}

// The flash lamp and trigger input views of the combined record.
#define VKT_COMBINED(name, Type, call, factory)                                                     \
  extern "C" VKT_API int name(int camera, Type* out, unsigned int timeoutMs) {                       \
    return vkt::RunCameraCall(camera, timeoutMs,                                                     \
                              [&](CameraContext& c, uint32_t ms) { return call(c, factory, out, ms); }); \
  }
VKT_COMBINED(VKT_GetFlashLamp, FlashLampParam, vkt::settings::GetFlashLamp, false)
VKT_COMBINED(VKT_GetDefaultFlashLamp, FlashLampParam, vkt::settings::GetFlashLamp, true)
VKT_COMBINED(VKT_GetTriggInputSet, TriggInputSet, vkt::settings::GetTriggInput, false)
VKT_COMBINED(VKT_GetDefaultTriggInputSet, TriggInputSet, vkt::settings::GetTriggInput, true)

extern "C" VKT_API int VKT_SetFlashLamp(int camera, const FlashLampParam* in, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::SetFlashLamp(c, in, ms); });
}

extern "C" VKT_API int VKT_SetTriggInputSet(int camera, const TriggInputSet* in, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs,
                            [&](CameraContext& c, uint32_t ms) { return vkt::settings::SetTriggInput(c, in, ms); });
}
