// One member of the settings family: a Get, GetDefault or Set call, described
// as data. A few generic methods (settings_family.cpp) run every member from
// its row; what no row can say lives in named special cases.
#pragma once

#include <cstdint>

#include "camera/settings_cache.h"

namespace vkt::settings {

// One id per exported member, in the order of the settings list.
#define VKT_ID_DEFAULTED(Name, ...) kGetDefault##Name, kGet##Name, kSet##Name,
#define VKT_ID_WRITTEN_VALUE(Slot, GetName, SetName, ...) k##GetName, k##SetName,
#define VKT_ID_GET_SET(Name, ...) kGet##Name, kSet##Name,
#define VKT_ID_READ(Name, ...) kGet##Name,
#define VKT_ID_WRITE(Name, ...) k##Name,
enum class MemberId : int {
  VKT_SETTINGS(VKT_ID_DEFAULTED, VKT_ID_DEFAULTED, VKT_ID_WRITTEN_VALUE, VKT_ID_GET_SET, VKT_ID_READ, VKT_ID_WRITE,
               VKT_ID_GET_SET, VKT_SETTING_NONE) kCount
};
#undef VKT_ID_DEFAULTED
#undef VKT_ID_WRITTEN_VALUE
#undef VKT_ID_GET_SET
#undef VKT_ID_READ
#undef VKT_ID_WRITE

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
  bool modelRestricted;  // only models with ModelTraits::regionSettings have it
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
