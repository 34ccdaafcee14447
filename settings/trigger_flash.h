// The camera's combined flash and trigger record (668 bytes) and the two
// views the interface gives of it: the flash lamp words and the trigger
// input entries. One cached copy (current and default) serves both views.
#pragma once

#include <cstddef>
#include <cstdint>

#include "VKTNetSDK11.h"
#include "camera/camera_context.h"

namespace vkt::settings {

inline constexpr size_t kCombinedSize = 668;

// Conversions between the camera record and the views. The record is
// kCombinedSize bytes.
FlashLampParam FlashLampFromCombined(const uint8_t* record);
void WriteFlashLamp(const FlashLampParam& lamp, uint8_t* record);
// `defaultView` reads the factory record, whose switch-dependent values and
// flags read differently.
TriggInputSet TriggInputFromCombined(const uint8_t* record, bool defaultView);
// Builds a record from scratch (all of it is written: head and lamp words 0).
void CombinedFromTriggInput(const TriggInputSet& set, uint8_t* record);

int GetFlashLamp(CameraContext& camera, bool factory, FlashLampParam* out, uint32_t ms);
int SetFlashLamp(CameraContext& camera, const FlashLampParam* in, uint32_t ms);
int GetTriggInput(CameraContext& camera, bool factory, TriggInputSet* out, uint32_t ms);
int SetTriggInput(CameraContext& camera, const TriggInputSet* in, uint32_t ms);

}  // namespace vkt::settings
