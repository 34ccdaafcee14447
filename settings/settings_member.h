// One member of the settings family: a Get, GetDefault or Set call, described
// as data. A few generic methods (settings_family.cpp) run every member from
// its row; what no row can say lives in named special cases.
#pragma once

#include <cstdint>

#include "camera/settings_cache.h"

namespace vkt::settings {

enum class MemberId : int {
  kGetAE,
  kSetAE,
  kGetAEParam,
  kSetAEParam,
  kGetAWB,
  kSetAWB,
  kGetAWBParam,
  kSetAWBParam,
  kGetFlashLampState,
  kOpenFlashLamp,
  kGetDefaultDeviceInfo,
  kGetDeviceInfo,
  kSetDeviceInfo,
  kGetDefaultImageRotation,
  kGetImageRotation,
  kSetImageRotation,
  kGetDefaultHotRegion,
  kGetHotRegion,
  kSetHotRegion,
  kGetDefaultStreamPicType,
  kGetStreamPicType,
  kSetStreamPicType,
  kGetCameraTemperature,
  kSetPicPixel,
  kGetWorkMode,
  kGetCameraMode,
  kGetLevelValue,
  kSetLevelValue,
  kGetElectricity,
  // Network and time
  kGetDefaultNetWorkParam,
  kGetNetWorkParam,
  kSetNetWorkParam,
  kGetDefaultFTPParam,
  kGetFTPParam,
  kSetFTPParam,
  kGetDefaultSNTPParam,
  kGetSNTPParam,
  kSetSNTPParam,
  kGetDefaultTimeZone,
  kGetTimeZone,
  kSetTimeZone,
  kGetAutoSyn,
  kSetAutoSyn,
  // Traffic and I/O
  kGetDefaultITSParam,
  kGetITSParam,
  kSetITSParam,
  kGetDefaultNightControlParam,
  kGetNightControlParam,
  kSetNightControlParam,
  kGetDefaultRS485Info,
  kGetRS485Info,
  kSetRS485Info,
  kGetDefaultRS232Info,
  kGetRS232Info,
  kSetRS232Info,
  kGetDefaultSpeedInfo,
  kGetSpeedInfo,
  kSetSpeedInfo,
  kGetDefaultOSDInfo,
  kGetOSDInfo,
  kSetOSDInfo,
  kGetDefaultPicFileNameConfig,
  kGetPicFileNameConfig,
  kSetPicFileNameConfig,
  kCount
};

enum class Access { kGet, kSet };

// How the setting travels: in the header's value field, or as a record.
enum class Form { kValue, kRecord };

enum class SlotKind { kNone, kValue, kRecord };

// What a Get does with its slot: nothing, fill it without ever answering
// from it, or answer from it while it is valid.
enum class ReadCache { kNone, kWrittenOnly, kAnswers };

enum class Check {
  kNone,
  kTwoState,     // a camera newer than this library must answer 0 or 1
  kAngle,        // 0, 90, 180 or 270 degrees, in replies and arguments
  kTemperature,  // the reply value is the camera's temperature encoding
};

struct Member {
  MemberId id;
  int32_t command;
  Access access;
  Form form;
  uint32_t size;  // bytes of the record; 4 for a value
  SlotKind slotKind;
  int slot;  // a ValueSlot or RecordSlot, by slotKind
  ReadCache readCache;
  bool skipUnchanged;    // a Set equal to a valid slot sends nothing
  Check check;
  bool modelRestricted;  // only the model "VKT-N2F0Kp" has it
  // Records some cameras send in a shorter form (0: none). Which form the
  // camera uses is learnt from the reply of the current-value read.
  uint32_t shortSize;
  bool learnsForm;

  ValueSlot Value() const { return static_cast<ValueSlot>(slot); }
  RecordSlot Record() const { return static_cast<RecordSlot>(slot); }
};

// The row of `id`.
const Member& MemberOf(MemberId id);

}  // namespace vkt::settings
