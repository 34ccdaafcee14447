// The settings family as a table: one row per exported member.
#include <array>

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
constexpr bool kLearnsForm = true;

constexpr bool kSkip = true;
constexpr bool kAlwaysSends = false;
constexpr bool kOnlyN2F0Kp = true;
constexpr auto kWrittenOnly = ReadCache::kWrittenOnly;
constexpr auto kAnswers = ReadCache::kAnswers;
constexpr auto kNoCache = ReadCache::kNone;

constexpr std::array<Member, static_cast<size_t>(M::kCount)> kMembers{{
    // Imaging
    Get(M::kGetAE, 704, kValue, In(ValueSlot::kAeMode), kWrittenOnly, Check::kTwoState),
    Set(M::kSetAE, 705, kValue, In(ValueSlot::kAeMode), kAlwaysSends),
    Get(M::kGetAEParam, 1044, Record(8), In(RecordSlot::kAeParam), kWrittenOnly),
    Set(M::kSetAEParam, 1045, Record(8), In(RecordSlot::kAeParam), kAlwaysSends),
    Get(M::kGetAWB, 708, kValue, In(ValueSlot::kAwbMode), kWrittenOnly, Check::kTwoState),
    Set(M::kSetAWB, 709, kValue, In(ValueSlot::kAwbMode), kAlwaysSends),
    Get(M::kGetAWBParam, 1056, Record(12), In(RecordSlot::kAwbParam), kWrittenOnly),
    Set(M::kSetAWBParam, 1057, Record(12), In(RecordSlot::kAwbParam), kAlwaysSends),
    // Flash lamp state and firing
    Get(M::kGetFlashLampState, 720, kValue, In(ValueSlot::kFlashLampState), kWrittenOnly, Check::kTwoState),
    Set(M::kOpenFlashLamp, 721, kValue, In(ValueSlot::kFlashLampState), kAlwaysSends),
    // Device information
    Get(M::kGetDefaultDeviceInfo, 1002, Record(100), In(RecordSlot::kDefaultDeviceInfo), kAnswers),
    Get(M::kGetDeviceInfo, 1000, Record(100), In(RecordSlot::kDeviceInfo), kAnswers),
    Set(M::kSetDeviceInfo, 1001, Record(100), In(RecordSlot::kDeviceInfo), kSkip),
    // Image rotation
    Get(M::kGetDefaultImageRotation, 1182, kValue, In(ValueSlot::kDefaultImageRotation), kAnswers, Check::kAngle),
    Get(M::kGetImageRotation, 1180, kValue, In(ValueSlot::kImageRotation), kAnswers, Check::kAngle),
    Set(M::kSetImageRotation, 1181, kValue, In(ValueSlot::kImageRotation), kSkip, Check::kAngle),
    // Hot region and stream picture type, one model only
    Get(M::kGetDefaultHotRegion, 1062, Record(64), In(RecordSlot::kDefaultHotRegion), kAnswers, Check::kNone,
        kOnlyN2F0Kp),
    Get(M::kGetHotRegion, 1060, Record(64), In(RecordSlot::kHotRegion), kAnswers, Check::kNone, kOnlyN2F0Kp),
    Set(M::kSetHotRegion, 1061, Record(64), In(RecordSlot::kHotRegion), kSkip, Check::kNone, kOnlyN2F0Kp),
    Get(M::kGetDefaultStreamPicType, 1066, kValue, In(RecordSlot::kDefaultStreamPicType), kAnswers, Check::kNone,
        kOnlyN2F0Kp),
    Get(M::kGetStreamPicType, 1064, kValue, In(RecordSlot::kStreamPicType), kAnswers, Check::kNone, kOnlyN2F0Kp),
    Set(M::kSetStreamPicType, 1065, kValue, In(RecordSlot::kStreamPicType), kSkip, Check::kNone, kOnlyN2F0Kp),
    // Device state values, never cached
    Get(M::kGetCameraTemperature, 200, kValue, kNoSlot, kNoCache, Check::kTemperature),
    Set(M::kSetPicPixel, 1270, kValue, kNoSlot, kAlwaysSends),
    Get(M::kGetWorkMode, 1301, kValue, kNoSlot, kNoCache),
    Get(M::kGetCameraMode, 1302, kValue, kNoSlot, kNoCache),
    Get(M::kGetLevelValue, 1310, kValue, kNoSlot, kNoCache),
    Set(M::kSetLevelValue, 1311, kValue, kNoSlot, kAlwaysSends),
    Get(M::kGetElectricity, 1314, kValue, kNoSlot, kNoCache),
    // Network and time
    Get(M::kGetDefaultNetWorkParam, 1018, Record(12), In(RecordSlot::kDefaultNetWork), kAnswers),
    Get(M::kGetNetWorkParam, 1016, Record(12), In(RecordSlot::kNetWork), kAnswers),
    Set(M::kSetNetWorkParam, 1017, Record(12), In(RecordSlot::kNetWork), kSkip),
    Get(M::kGetDefaultFTPParam, 1022, Record(264), In(RecordSlot::kDefaultFtp), kAnswers),
    Get(M::kGetFTPParam, 1020, Record(264), In(RecordSlot::kFtp), kAnswers),
    Set(M::kSetFTPParam, 1021, Record(264), In(RecordSlot::kFtp), kSkip),
    Get(M::kGetDefaultSNTPParam, 1026, Record(72), In(RecordSlot::kDefaultSntp), kAnswers),
    Get(M::kGetSNTPParam, 1024, Record(72), In(RecordSlot::kSntp), kAnswers),
    Set(M::kSetSNTPParam, 1025, Record(72), In(RecordSlot::kSntp), kSkip),
    Get(M::kGetDefaultTimeZone, 1078, kValue, In(RecordSlot::kDefaultTimeZone), kAnswers),
    Get(M::kGetTimeZone, 1076, kValue, In(RecordSlot::kTimeZone), kAnswers),
    Set(M::kSetTimeZone, 1077, kValue, In(RecordSlot::kTimeZone), kSkip),
    Get(M::kGetAutoSyn, 1312, kValue, kNoSlot, kNoCache),
    Set(M::kSetAutoSyn, 1313, kValue, kNoSlot, kAlwaysSends),
    // Traffic and I/O
    WithShortForm(Get(M::kGetDefaultITSParam, 1010, Record(52), In(RecordSlot::kDefaultIts), kAnswers), 32),
    WithShortForm(Get(M::kGetITSParam, 1008, Record(52), In(RecordSlot::kIts), kAnswers), 32, kLearnsForm),
    WithShortForm(Set(M::kSetITSParam, 1009, Record(52), In(RecordSlot::kIts), kSkip), 32),
    WithShortForm(Get(M::kGetDefaultNightControlParam, 1014, Record(48), In(RecordSlot::kDefaultNightControl),
                      kAnswers),
                  44),
    WithShortForm(Get(M::kGetNightControlParam, 1012, Record(48), In(RecordSlot::kNightControl), kAnswers), 44,
                  kLearnsForm),
    WithShortForm(Set(M::kSetNightControlParam, 1013, Record(48), In(RecordSlot::kNightControl), kSkip), 44),
    Get(M::kGetDefaultRS485Info, 1253, Record(16), In(RecordSlot::kDefaultRs485), kAnswers),
    Get(M::kGetRS485Info, 1251, Record(16), In(RecordSlot::kRs485), kAnswers),
    Set(M::kSetRS485Info, 1252, Record(16), In(RecordSlot::kRs485), kSkip),
    Get(M::kGetDefaultRS232Info, 1256, Record(16), In(RecordSlot::kDefaultRs232), kAnswers),
    Get(M::kGetRS232Info, 1254, Record(16), In(RecordSlot::kRs232), kAnswers),
    Set(M::kSetRS232Info, 1255, Record(16), In(RecordSlot::kRs232), kSkip),
    Get(M::kGetDefaultSpeedInfo, 1259, Record(132), In(RecordSlot::kDefaultSpeed), kAnswers),
    Get(M::kGetSpeedInfo, 1257, Record(132), In(RecordSlot::kSpeed), kAnswers),
    Set(M::kSetSpeedInfo, 1258, Record(132), In(RecordSlot::kSpeed), kSkip),
    Get(M::kGetDefaultOSDInfo, 1034, Record(60), In(RecordSlot::kDefaultOsd), kAnswers),
    Get(M::kGetOSDInfo, 1032, Record(60), In(RecordSlot::kOsd), kAnswers),
    Set(M::kSetOSDInfo, 1033, Record(60), In(RecordSlot::kOsd), kSkip),
    Get(M::kGetDefaultPicFileNameConfig, 1038, Record(40), In(RecordSlot::kDefaultPicFileName), kAnswers),
    Get(M::kGetPicFileNameConfig, 1036, Record(40), In(RecordSlot::kPicFileName), kAnswers),
    Set(M::kSetPicFileNameConfig, 1037, Record(40), In(RecordSlot::kPicFileName), kSkip),
}};

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
