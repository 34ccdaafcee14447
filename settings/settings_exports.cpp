// The exported members of the settings family: each is the call frame
// around one row of the table, or around one named special case.
#include "VKTNetSDK11.h"
#include "api/call_frame.h"
#include "settings/camera_clock.h"
#include "settings/settings_family.h"
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

VKT_GET(VKT_GetAE, int, MemberId::kGetAE)
VKT_SET_VALUE(VKT_SetAE, MemberId::kSetAE)
VKT_GET(VKT_GetAEParam, AEParam, MemberId::kGetAEParam)
VKT_SET_RECORD_BY_VALUE(VKT_SetAEParam, AEParam, MemberId::kSetAEParam)
VKT_GET(VKT_GetAWB, int, MemberId::kGetAWB)
VKT_SET_VALUE(VKT_SetAWB, MemberId::kSetAWB)
VKT_GET(VKT_GetAWBParam, AWBParam, MemberId::kGetAWBParam)
VKT_SET_RECORD_BY_VALUE(VKT_SetAWBParam, AWBParam, MemberId::kSetAWBParam)
VKT_GET(VKT_GetFlashLampState, int, MemberId::kGetFlashLampState)
VKT_SET_VALUE(VKT_OpenFlashLamp, MemberId::kOpenFlashLamp)
VKT_GET(VKT_GetDefaultDeviceInfo, DeviceInfo, MemberId::kGetDefaultDeviceInfo)
VKT_GET(VKT_GetDeviceInfo, DeviceInfo, MemberId::kGetDeviceInfo)
VKT_SET_RECORD(VKT_SetDeviceInfo, DeviceInfo, MemberId::kSetDeviceInfo)
VKT_GET(VKT_GetDefaultImageRotation, int, MemberId::kGetDefaultImageRotation)
VKT_GET(VKT_GetImageRotation, int, MemberId::kGetImageRotation)
VKT_SET_VALUE(VKT_SetImageRotation, MemberId::kSetImageRotation)
VKT_GET(VKT_GetDefaultHotRegion, HotRegion, MemberId::kGetDefaultHotRegion)
VKT_GET(VKT_GetHotRegion, HotRegion, MemberId::kGetHotRegion)
VKT_SET_RECORD(VKT_SetHotRegion, HotRegion, MemberId::kSetHotRegion)
VKT_GET(VKT_GetDefaultStreamPicType, int, MemberId::kGetDefaultStreamPicType)
VKT_GET(VKT_GetStreamPicType, int, MemberId::kGetStreamPicType)
VKT_SET_VALUE(VKT_SetStreamPicType, MemberId::kSetStreamPicType)
VKT_GET(VKT_GetCameraTemperature, int, MemberId::kGetCameraTemperature)
VKT_SET_VALUE(VKT_SetPicPixel, MemberId::kSetPicPixel)
VKT_GET(VKT_GetWorkMode, int, MemberId::kGetWorkMode)
VKT_GET(VKT_GetCameraMode, int, MemberId::kGetCameraMode)
VKT_GET(VKT_GetLevelValue, int, MemberId::kGetLevelValue)
VKT_SET_VALUE(VKT_SetLevelValue, MemberId::kSetLevelValue)
VKT_GET(VKT_GetElectricity, int, MemberId::kGetElectricity)

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

// Network and time
VKT_GET(VKT_GetDefaultNetWorkParam, NetWorkParam, MemberId::kGetDefaultNetWorkParam)
VKT_GET(VKT_GetNetWorkParam, NetWorkParam, MemberId::kGetNetWorkParam)
VKT_GET(VKT_GetDefaultFTPParam, FTPParam, MemberId::kGetDefaultFTPParam)
VKT_GET(VKT_GetFTPParam, FTPParam, MemberId::kGetFTPParam)
VKT_SET_RECORD(VKT_SetFTPParam, FTPParam, MemberId::kSetFTPParam)
VKT_GET(VKT_GetDefaultSNTPParam, SNTPParam, MemberId::kGetDefaultSNTPParam)
VKT_GET(VKT_GetSNTPParam, SNTPParam, MemberId::kGetSNTPParam)
VKT_SET_RECORD(VKT_SetSNTPParam, SNTPParam, MemberId::kSetSNTPParam)
VKT_GET(VKT_GetDefaultTimeZone, int, MemberId::kGetDefaultTimeZone)
VKT_GET(VKT_GetTimeZone, int, MemberId::kGetTimeZone)
VKT_SET_VALUE(VKT_SetTimeZone, MemberId::kSetTimeZone)
VKT_GET(VKT_GetAutoSyn, int, MemberId::kGetAutoSyn)
VKT_SET_VALUE(VKT_SetAutoSyn, MemberId::kSetAutoSyn)

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

// Traffic and I/O
VKT_GET(VKT_GetDefaultITSParam, ITSParam, MemberId::kGetDefaultITSParam)
VKT_GET(VKT_GetITSParam, ITSParam, MemberId::kGetITSParam)
VKT_SET_RECORD(VKT_SetITSParam, ITSParam, MemberId::kSetITSParam)
VKT_GET(VKT_GetDefaultNightControlParam, NightControlParam, MemberId::kGetDefaultNightControlParam)
VKT_GET(VKT_GetNightControlParam, NightControlParam, MemberId::kGetNightControlParam)
VKT_SET_RECORD(VKT_SetNightControlParam, NightControlParam, MemberId::kSetNightControlParam)
VKT_GET(VKT_GetDefaultRS485Info, RS485Info, MemberId::kGetDefaultRS485Info)
VKT_GET(VKT_GetRS485Info, RS485Info, MemberId::kGetRS485Info)
VKT_SET_RECORD(VKT_SetRS485Info, RS485Info, MemberId::kSetRS485Info)
VKT_GET(VKT_GetDefaultRS232Info, RS232Info, MemberId::kGetDefaultRS232Info)
VKT_GET(VKT_GetRS232Info, RS232Info, MemberId::kGetRS232Info)
VKT_SET_RECORD(VKT_SetRS232Info, RS232Info, MemberId::kSetRS232Info)
VKT_GET(VKT_GetDefaultSpeedInfo, SpeedInfo, MemberId::kGetDefaultSpeedInfo)
VKT_GET(VKT_GetSpeedInfo, SpeedInfo, MemberId::kGetSpeedInfo)
VKT_SET_RECORD(VKT_SetSpeedInfo, SpeedInfo, MemberId::kSetSpeedInfo)
VKT_GET(VKT_GetDefaultOSDInfo, OSDInfo, MemberId::kGetDefaultOSDInfo)
VKT_GET(VKT_GetOSDInfo, OSDInfo, MemberId::kGetOSDInfo)
VKT_SET_RECORD(VKT_SetOSDInfo, OSDInfo, MemberId::kSetOSDInfo)
VKT_GET(VKT_GetDefaultPicFileNameConfig, PicFileNameConfig, MemberId::kGetDefaultPicFileNameConfig)
VKT_GET(VKT_GetPicFileNameConfig, PicFileNameConfig, MemberId::kGetPicFileNameConfig)
VKT_SET_RECORD(VKT_SetPicFileNameConfig, PicFileNameConfig, MemberId::kSetPicFileNameConfig)

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
