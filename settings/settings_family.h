// The generic command methods of the settings family and its named special
// cases. Each runs on a camera under its command lock, with the time left of
// the call's budget.
#pragma once

#include <cstdint>

#include "camera/camera_context.h"
#include "settings/settings_member.h"

namespace vkt::settings {

// A Get or GetDefault: `out` receives the value or record (m.size bytes).
int GetMember(CameraContext& camera, const Member& m, void* out, uint32_t ms);
// A Set: `in` holds the value or record (m.size bytes). `sent` (if given)
// tells whether it went to the camera or was skipped as unchanged.
int SetMember(CameraContext& camera, const Member& m, const void* in, uint32_t ms, bool* sent = nullptr);

// The special cases.
int GetState(CameraContext& camera, int* state, uint32_t ms);
int ResetCamera(CameraContext& camera, int mode, uint32_t ms);
int SaveConfig(CameraContext& camera, uint32_t ms);
int GetParamState(CameraContext& camera, uint32_t ms);
// The network set, which may move the camera to a new address.
int SetNetWorkParam(CameraContext& camera, const NetWorkParam* in, uint32_t ms);
// The clock synchronisation and its two replies.
int NtpTiming(CameraContext& camera, uint32_t ms);

// Whole degrees from the camera's temperature encoding: the low 16 bits of
// `value`, bit 15 the sign, bits 5-14 a magnitude in eighths of a degree.
int DecodeTemperature(int32_t value);

}  // namespace vkt::settings
