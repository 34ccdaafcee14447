// The settings family as a table: one row per exported member.
#include <array>

#include "VKTNetSDK11.h"
#include "settings/settings_member.h"

namespace vkt::settings {
namespace {

using M = MemberId;

struct SlotRef {
  SlotKind kind = SlotKind::kNone;
  int index = 0;
};
constexpr SlotRef kNoSlot{};
constexpr SlotRef In(ValueSlot s) { return {SlotKind::kValue, static_cast<int>(s)}; }
constexpr SlotRef In(RecordSlot s) { return {SlotKind::kRecord, static_cast<int>(s)}; }

struct Shape {
  Form form;
  uint32_t size;
};
constexpr Shape kValue{Form::kValue, 4};
constexpr Shape Record(uint32_t size) { return {Form::kRecord, size}; }

constexpr Member Get(M id, int32_t command, Shape shape, SlotRef slot, ReadCache cache, Check check = Check::kNone,
                     bool restricted = false) {
  return {id,   command, Access::kGet, shape.form, shape.size, slot.kind, slot.index, cache, false,
          check, restricted, 0, false};
}

constexpr Member Set(M id, int32_t command, Shape shape, SlotRef slot, bool skip, Check check = Check::kNone,
                     bool restricted = false) {
  return {id,   command, Access::kSet, shape.form, shape.size, slot.kind, slot.index, ReadCache::kNone, skip,
          check, restricted, 0, false};
}

// A member whose record may come in a short form.
constexpr Member WithShortForm(Member m, uint32_t shortSize, bool learns = false) {
  m.shortSize = shortSize;
  m.learnsForm = learns;
  return m;
}

constexpr bool kSkip = true;
constexpr bool kAlwaysSends = false;
constexpr auto kWrittenOnly = ReadCache::kWrittenOnly;
constexpr auto kAnswers = ReadCache::kAnswers;
constexpr auto kNoCache = ReadCache::kNone;

// The words of the settings list.
constexpr bool kModelsALL = false;
constexpr bool kModelsREGION = true;
constexpr Check kCheckNONE = Check::kNone;
constexpr Check kCheckTWO_STATE = Check::kTwoState;
constexpr Check kCheckANGLE = Check::kAngle;
constexpr Check kCheckTEMPERATURE = Check::kTemperature;

#define VKT_ROWS_RECORD(Name, Type, get, models, shortSize, set)                                                   \
  WithShortForm(Get(M::kGetDefault##Name, (get) + 2, Record(sizeof(Type)), In(RecordSlot::kDefault##Name), kAnswers, \
                    kCheckNONE, kModels##models),                                                                 \
                shortSize),                                                                                       \
      WithShortForm(Get(M::kGet##Name, get, Record(sizeof(Type)), In(RecordSlot::k##Name), kAnswers, kCheckNONE,  \
                        kModels##models),                                                                         \
                    shortSize, (shortSize) != 0),                                                                 \
      WithShortForm(Set(M::kSet##Name, (get) + 1, Record(sizeof(Type)), In(RecordSlot::k##Name), kSkip, kCheckNONE, \
                        kModels##models),                                                                         \
                    shortSize),
#define VKT_ROWS_VALUE(Name, get, check, models)                                                                     \
  Get(M::kGetDefault##Name, (get) + 2, kValue, In(RecordSlot::kDefault##Name), kAnswers, kCheck##check,            \
      kModels##models),                                                                                            \
      Get(M::kGet##Name, get, kValue, In(RecordSlot::k##Name), kAnswers, kCheck##check, kModels##models),          \
      Set(M::kSet##Name, (get) + 1, kValue, In(RecordSlot::k##Name), kSkip, kCheck##check, kModels##models),
#define VKT_ROWS_WRITTEN_VALUE(Slot, GetName, SetName, get, check)                       \
  Get(M::k##GetName, get, kValue, In(ValueSlot::k##Slot), kWrittenOnly, kCheck##check), \
      Set(M::k##SetName, (get) + 1, kValue, In(ValueSlot::k##Slot), kAlwaysSends),
#define VKT_ROWS_WRITTEN_RECORD(Name, Type, get)                                                     \
  Get(M::kGet##Name, get, Record(sizeof(Type)), In(RecordSlot::k##Name), kWrittenOnly),             \
      Set(M::kSet##Name, (get) + 1, Record(sizeof(Type)), In(RecordSlot::k##Name), kAlwaysSends),
#define VKT_ROWS_READ(Name, get, check) Get(M::kGet##Name, get, kValue, kNoSlot, kNoCache, kCheck##check),
#define VKT_ROWS_WRITE(Name, set) Set(M::k##Name, set, kValue, kNoSlot, kAlwaysSends),
#define VKT_ROWS_READ_WRITE(Name, get, check) \
  VKT_ROWS_READ(Name, get, check) Set(M::kSet##Name, (get) + 1, kValue, kNoSlot, kAlwaysSends),

constexpr std::array<Member, static_cast<size_t>(M::kCount)> kMembers{{
    VKT_SETTINGS(VKT_ROWS_RECORD, VKT_ROWS_VALUE, VKT_ROWS_WRITTEN_VALUE, VKT_ROWS_WRITTEN_RECORD, VKT_ROWS_READ,
                 VKT_ROWS_WRITE, VKT_ROWS_READ_WRITE, VKT_SETTING_NONE)}};

constexpr bool RowsInIdOrder() {
  for (size_t i = 0; i < kMembers.size(); ++i) {
    if (static_cast<size_t>(kMembers[i].id) != i) return false;
  }
  return true;
}
static_assert(RowsInIdOrder(), "one row per member, in the order of MemberId");

constexpr bool RecordsFitTheirSlots() {
  for (const Member& m : kMembers) {
    if (m.size > SettingsCache::kMaxRecord) return false;
  }
  return true;
}
static_assert(RecordsFitTheirSlots());

}  // namespace

const Member& MemberOf(MemberId id) { return kMembers[static_cast<size_t>(id)]; }

}  // namespace vkt::settings
