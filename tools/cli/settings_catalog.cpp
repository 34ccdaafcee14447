#include "settings_catalog.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "VKTNetSDK11.h"
#include "format.h"
#include "json_text.h"

namespace vktcli {

namespace {

// ------------------------------------------------------------ call adapters

// The parameter between the handle and the time-out: int*, AEParam*,
// AEParam, const HotRegion*, ...
template <typename Call>
struct MiddleParameter;
template <typename Parameter>
struct MiddleParameter<int (*)(int, Parameter, unsigned)> {
  using Type = Parameter;
};

template <auto Call>
constexpr SettingRead MakeRead(std::string_view callName) {
  using Pointer = typename MiddleParameter<decltype(Call)>::Type;
  static_assert(std::is_pointer_v<Pointer>, "a read call fills a structure through a pointer");
  using Storage = std::remove_pointer_t<Pointer>;
  ReadFunction call = [](int camera, std::span<std::uint8_t> record, unsigned timeoutMs) {
    Storage value{};
    const int result = Call(camera, &value, timeoutMs);
    if (result == 0) std::memcpy(record.data(), &value, sizeof value);
    return result;
  };
  return SettingRead{call, sizeof(Storage), callName};
}

template <auto Call>
constexpr SettingWrite MakeWrite(std::string_view callName) {
  using Parameter = typename MiddleParameter<decltype(Call)>::Type;
  // Sets take the record by value (int, AEParam) or by const pointer.
  using Storage = std::remove_cvref_t<std::remove_pointer_t<Parameter>>;
  WriteFunction call = [](int camera, std::span<const std::uint8_t> record, unsigned timeoutMs) {
    Storage value{};
    std::memcpy(&value, record.data(), sizeof value);
    if constexpr (std::is_pointer_v<Parameter>) {
      return Call(camera, &value, timeoutMs);
    } else {
      return Call(camera, value, timeoutMs);
    }
  };
  return SettingWrite{call, sizeof(Storage), callName};
}

// The call's own name goes into error messages; stringising keeps the two
// from drifting apart.
#define VKT_READ(call) MakeRead<call>(#call)
#define VKT_WRITE(call) MakeWrite<call>(#call)

// ------------------------------------------------------------------ layouts

constexpr std::array<Field, 1> kValueFields{{{"value", FieldType::Int32, 0, 4, {}}}};
constexpr RecordLayout kValue{SettingKind::Value, sizeof(int), kValueFields};

// Enough for the longest word record, SpeedInfo.
constexpr std::array<std::string_view, 33> kWordNames{
    "word0",  "word1",  "word2",  "word3",  "word4",  "word5",  "word6",  "word7",  "word8",
    "word9",  "word10", "word11", "word12", "word13", "word14", "word15", "word16", "word17",
    "word18", "word19", "word20", "word21", "word22", "word23", "word24", "word25", "word26",
    "word27", "word28", "word29", "word30", "word31", "word32"};

template <std::size_t N>
constexpr std::array<Field, N> WordFields() {
  static_assert(N <= kWordNames.size());
  std::array<Field, N> fields{};
  for (std::size_t i = 0; i < N; ++i) fields[i] = Field{kWordNames[i], FieldType::Int32, i * 4, 4, {}};
  return fields;
}

// A record that is nothing but the camera's own 32-bit words.
template <typename Record>
inline constexpr auto kWordFieldsOf = WordFields<sizeof(Record) / 4>();
template <typename Record>
inline constexpr RecordLayout kWordRecord{SettingKind::Record, sizeof(Record), kWordFieldsOf<Record>};

// A record whose bytes mean nothing to this tool: one hex field.
template <typename Record>
inline constexpr std::array<Field, 1> kOpaqueFieldsOf{{{"hex", FieldType::Bytes, 0, sizeof(Record), "text"}}};
template <typename Record>
inline constexpr RecordLayout kOpaqueRecord{SettingKind::Record, sizeof(Record), kOpaqueFieldsOf<Record>};

// The camera's address, the three words that also open its search record.
constexpr std::array<Field, 3> kNetworkFields{{
    {"ipAddress", FieldType::IPv4, offsetof(NetWorkParam, ipAddress), 4, {}},
    {"addressWord1", FieldType::IPv4, offsetof(NetWorkParam, addressWord1), 4, {}},
    {"addressWord2", FieldType::IPv4, offsetof(NetWorkParam, addressWord2), 4, {}},
}};
constexpr RecordLayout kNetwork{SettingKind::Record, sizeof(NetWorkParam), kNetworkFields};

// The camera's own names for its lamp words, in the record's order: C comes
// before B there, so the order is not a slip to tidy up.
constexpr std::array<Field, 5> kFlashLampFields{{
    {"lampA", FieldType::Int32, 0, 4, {}},
    {"lampC", FieldType::Int32, 4, 4, {}},
    {"lampB", FieldType::Int32, 8, 4, {}},
    {"lampD", FieldType::Int32, 12, 4, {}},
    {"lampE", FieldType::Int32, 16, 4, {}},
}};
constexpr RecordLayout kFlashLamp{SettingKind::Record, sizeof(FlashLampParam), kFlashLampFields};

// One trigger input's fifteen values. Values without a known meaning are
// named after their place in the camera's record (word8, word12, ...).
constexpr std::array<std::string_view, 15> kTriggerValueNames{
    "enabled", "number4", "triggerNumber", "word8", "switch", "switchNumber", "flag", "word12",
    "word24",  "word28",  "flag0",         "flag1", "flag2",  "flag3",        "flag31"};
constexpr std::array<Field, 15> kTriggerEntryFields = [] {
  static_assert(std::size(TriggInputEntry{}.value) == kTriggerValueNames.size());
  std::array<Field, 15> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    fields[i] = Field{kTriggerValueNames[i], FieldType::Int32, i * sizeof(std::int32_t), sizeof(std::int32_t), {}};
  }
  return fields;
}();
constexpr RecordLayout kTriggerInputs{SettingKind::Entries, sizeof(TriggInputSet), kTriggerEntryFields,
                                      std::size(TriggInputSet{}.entry), sizeof(TriggInputEntry)};

// ------------------------------------------------------------------- checks

// A camera given 0.x.x.x, a multicast or a broadcast address can no longer
// be reached to undo it.
std::string CheckNetworkAddress(std::span<const std::uint8_t> record) {
  NetWorkParam param{};
  if (record.size() != sizeof param) return "the record has the wrong size";
  std::memcpy(&param, record.data(), sizeof param);
  if (!IsUnicastAddress(param.ipAddress)) return "ipAddress must be a unicast address, not " + FormatIPv4(param.ipAddress);
  return {};
}

// -------------------------------------------------------------------- table

constexpr SettingRead kNoRead{};
constexpr SettingWrite kNoWrite{};

// The get, get-default and set calls of the settings named as most are:
// VKT_GetX, VKT_GetDefaultX and VKT_SetX.
#define VKT_GET_ONLY(X) VKT_READ(VKT_Get##X), kNoRead, kNoWrite
#define VKT_GET_SET(X) VKT_READ(VKT_Get##X), kNoRead, VKT_WRITE(VKT_Set##X)
#define VKT_GET_DEFAULT_SET(X) VKT_READ(VKT_Get##X), VKT_READ(VKT_GetDefault##X), VKT_WRITE(VKT_Set##X)

constexpr std::array kSettings{
    Setting{"ae", "automatic exposure: 1 on, 0 off", &kValue, VKT_GET_SET(AE)},
    Setting{"ae-param", "exposure parameters (the camera's own words)", &kWordRecord<AEParam>, VKT_GET_SET(AEParam)},
    Setting{"awb", "automatic white balance: 1 on, 0 off", &kValue, VKT_GET_SET(AWB)},
    Setting{"awb-param", "white balance parameters (the camera's own words)", &kWordRecord<AWBParam>,
            VKT_GET_SET(AWBParam)},
    Setting{"rotation", "image rotation in degrees: 0, 90, 180 or 270", &kValue, VKT_GET_DEFAULT_SET(ImageRotation)},
    Setting{"stream-pic-type", "picture type of the video stream (VKT-N2F0Kp only)", &kValue,
            VKT_GET_DEFAULT_SET(StreamPicType)},
    Setting{"hot-region", "hot region (VKT-N2F0Kp only; the camera's own words)", &kWordRecord<HotRegion>,
            VKT_GET_DEFAULT_SET(HotRegion)},
    Setting{"pic-pixel", "picture pixel size (a camera-defined value; write only)", &kValue, kNoRead, kNoRead,
            VKT_WRITE(VKT_SetPicPixel)},
    Setting{"level", "level value (camera-defined)", &kValue, VKT_GET_SET(LevelValue)},
    Setting{"device-info", "device information (100 bytes, shown as hex)", &kOpaqueRecord<DeviceInfo>,
            VKT_GET_DEFAULT_SET(DeviceInfo)},
    Setting{"temperature", "camera temperature in whole degrees", &kValue, VKT_GET_ONLY(CameraTemperature)},
    Setting{"work-mode", "work mode (camera-defined)", &kValue, VKT_GET_ONLY(WorkMode)},
    Setting{"camera-mode", "camera mode (camera-defined)", &kValue, VKT_GET_ONLY(CameraMode)},
    Setting{"electricity", "electricity reading (camera-defined)", &kValue, VKT_GET_ONLY(Electricity)},
    Setting{"flash-lamp", "flash lamp: get reads its state (1 on, 0 off), set fires it with VALUE", &kValue,
            VKT_READ(VKT_GetFlashLampState), kNoRead, VKT_WRITE(VKT_OpenFlashLamp)},
    Setting{"network",
            "the camera's address (addressWord1/2: netmask, gateway on most cameras); "
            "a new ipAddress moves the camera",
            &kNetwork, VKT_GET_DEFAULT_SET(NetWorkParam), CheckNetworkAddress},
    Setting{"ftp", "FTP parameters (264 bytes, shown as hex)", &kOpaqueRecord<FTPParam>,
            VKT_GET_DEFAULT_SET(FTPParam)},
    Setting{"sntp", "SNTP parameters (72 bytes, shown as hex)", &kOpaqueRecord<SNTPParam>,
            VKT_GET_DEFAULT_SET(SNTPParam)},
    Setting{"time-zone", "time zone (camera-defined value)", &kValue, VKT_GET_DEFAULT_SET(TimeZone)},
    Setting{"auto-sync", "automatic clock synchronisation switch (camera-defined)", &kValue, VKT_GET_SET(AutoSyn)},
    Setting{"its", "traffic parameters (the camera's own words; short-form cameras use word0-7)",
            &kWordRecord<ITSParam>, VKT_GET_DEFAULT_SET(ITSParam)},
    Setting{"night-control", "night control parameters (the camera's own words; short form: word0-10)",
            &kWordRecord<NightControlParam>, VKT_GET_DEFAULT_SET(NightControlParam)},
    Setting{"rs485", "serial port RS485 (the camera's own words)", &kWordRecord<RS485Info>,
            VKT_GET_DEFAULT_SET(RS485Info)},
    Setting{"rs232", "serial port RS232 (the camera's own words)", &kWordRecord<RS232Info>,
            VKT_GET_DEFAULT_SET(RS232Info)},
    Setting{"speed", "speed settings (the camera's own words)", &kWordRecord<SpeedInfo>,
            VKT_GET_DEFAULT_SET(SpeedInfo)},
    Setting{"osd", "on-screen display (60 bytes, shown as hex)", &kOpaqueRecord<OSDInfo>, VKT_GET_DEFAULT_SET(OSDInfo)},
    Setting{"pic-file-name", "picture file naming (40 bytes, shown as hex)", &kOpaqueRecord<PicFileNameConfig>,
            VKT_GET_DEFAULT_SET(PicFileNameConfig)},
    Setting{"flash-lamp-param", "the flash lamps' words (camera-defined)", &kFlashLamp,
            VKT_GET_DEFAULT_SET(FlashLamp)},
    Setting{"trigger-inputs", "trigger inputs (set takes JSON only, and writes the flash-lamp-param words as 0)",
            &kTriggerInputs, VKT_GET_DEFAULT_SET(TriggInputSet)},
};

#undef VKT_GET_ONLY
#undef VKT_GET_SET
#undef VKT_GET_DEFAULT_SET
#undef VKT_READ
#undef VKT_WRITE

// A row whose call works on a structure of another size than its layout
// would copy past one of them; catch that here rather than at run time.
constexpr bool FieldsFit(const RecordLayout& layout) {
  const bool entries = layout.kind == SettingKind::Entries;
  if (entries && (layout.entryCount == 0 || layout.entryCount * layout.entrySize != layout.size)) return false;
  const std::size_t span = entries ? layout.entrySize : layout.size;
  return std::ranges::all_of(layout.fields, [&](const Field& field) {
    return field.size > 0 && field.offset + field.size <= span;
  });
}

constexpr bool RowIsConsistent(const Setting& setting) {
  const std::size_t size = setting.layout->size;
  return FieldsFit(*setting.layout) && (!setting.get || setting.get.size == size) &&
         (!setting.getDefault || setting.getDefault.size == size) && (!setting.set || setting.set.size == size);
}

static_assert(std::ranges::all_of(kSettings, RowIsConsistent), "a setting's calls do not match its layout");

}  // namespace

std::span<const Setting> AllSettings() { return kSettings; }

namespace {

constexpr std::array<SettingSection, 4> kSections{{
    {"Picture", "ae"},
    {"Device and state", "device-info"},
    {"Network and time", "network"},
    {"Traffic and I/O", "its"},
}};

// Each section starts at a row, the first at the first row, and in the
// rows' order: a renamed or moved row is caught here.
constexpr bool SectionsFollowTheRows() {
  std::size_t row = 0;
  for (std::size_t s = 0; s < kSections.size(); ++s) {
    while (row < kSettings.size() && kSettings[row].name != kSections[s].firstSetting) {
      if (s == 0) return false;
      ++row;
    }
    if (row == kSettings.size()) return false;
  }
  return true;
}
static_assert(SectionsFollowTheRows(), "a section does not start at a row of the catalogue, in order");

}  // namespace

std::span<const SettingSection> SettingSections() { return kSections; }

const Setting* FindSetting(std::string_view name) {
  for (const Setting& setting : kSettings) {
    if (setting.name == name) return &setting;
  }
  return nullptr;
}

std::string DescribeKind(const RecordLayout& layout) {
  if (layout.kind == SettingKind::Value) return "value";
  const bool allWords = std::ranges::all_of(layout.fields, [](const Field& f) { return f.type == FieldType::Int32; });
  if (layout.kind == SettingKind::Entries) {
    return "record, " + std::to_string(layout.entryCount) + " entries of " + std::to_string(layout.fields.size()) +
           (allWords ? " words" : " fields");
  }
  if (allWords) return "record, " + std::to_string(layout.fields.size()) + " words";
  const bool allAddresses =
      std::ranges::all_of(layout.fields, [](const Field& f) { return f.type == FieldType::IPv4; });
  if (allAddresses) return "record, " + std::to_string(layout.fields.size()) + " addresses";
  if (layout.fields.size() == 1 && layout.fields[0].type == FieldType::Bytes) {
    return "record, " + std::to_string(layout.size) + " bytes";
  }
  return "record, " + std::to_string(layout.fields.size()) + " fields";
}

namespace {

std::string_view YesNo(bool available) { return available ? "yes" : "-"; }

std::string_view KindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::Value: return "value";
    case SettingKind::Record: return "record";
    case SettingKind::Entries: return "entries";
  }
  return "record";
}

}  // namespace

std::string FormatSettingsTable(std::span<const Setting> settings) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"NAME", "KIND", "GET", "SET", "DEFAULT", "DESCRIPTION"});
  for (const Setting& s : settings) {
    rows.push_back({std::string(s.name), DescribeKind(*s.layout), std::string(YesNo(static_cast<bool>(s.get))),
                    std::string(YesNo(static_cast<bool>(s.set))),
                    std::string(YesNo(static_cast<bool>(s.getDefault))), std::string(s.description)});
  }
  return AlignedColumns(rows);
}

std::string FormatSettingsJson(std::span<const Setting> settings) {
  Json list = Json::array();
  for (const Setting& s : settings) {
    Json fields = Json::array();
    for (const Field& field : s.layout->fields) fields.push_back(field.name);
    list.push_back({{"name", s.name},
                    {"kind", KindName(s.layout->kind)},
                    {"get", static_cast<bool>(s.get)},
                    {"set", static_cast<bool>(s.set)},
                    {"default", static_cast<bool>(s.getDefault)},
                    {"fields", fields},
                    {"description", s.description}});
  }
  return JsonArrayLines(list);
}

}  // namespace vktcli
