#include "setting_table.h"

#include <array>

#include "command_wire.h"

namespace vktemu {
namespace {

namespace command = wire::command;

constexpr SettingDef value(const char* name, int32_t get, int32_t set, int32_t getDefault = 0) {
  return {name, get, set, getDefault, SettingForm::kValue, 0};
}

constexpr SettingDef record(const char* name, int32_t get, int32_t set, int32_t getDefault, uint32_t size) {
  return {name, get, set, getDefault, SettingForm::kRecord, size};
}

constexpr SettingDef shortable(const char* name, int32_t get, int32_t set, int32_t getDefault, uint32_t size,
                               uint32_t shortSize) {
  return {name, get, set, getDefault, SettingForm::kRecord, size, false, shortSize};
}

constexpr SettingDef measured(const char* name, int32_t get) {
  return {name, get, 0, 0, SettingForm::kValue, 0, true};
}

constexpr auto kSettings = std::to_array<SettingDef>({
    value("AE mode", 704, 705),
    record("AE parameters", 1044, 1045, 0, 8),
    value("AWB mode", 708, 709),
    record("AWB parameters", 1056, 1057, 0, 12),
    value("flash lamp state", 720, 721),
    record("device information", command::kDeviceInfo, 1001, 1002, 100),
    value("image rotation", 1180, 1181, 1182),
    value("stream picture type", 1064, 1065, 1066),
    record("hot region", 1060, 1061, 1062, 64),
    value("time zone", 1076, 1077, 1078),
    value("picture pixel size", 0, 1270),
    value("level value", 1310, 1311),
    value("auto synchronisation", 1312, 1313),
    value("work mode", 1301, 0),
    value("camera mode", 1302, 0),
    measured("electricity", 1314),
    measured("temperature", command::kTemperature),
    shortable("ITS parameters", 1008, 1009, 1010, 52, 32),
    shortable("night control", 1012, 1013, 1014, 48, 44),
    record("network", command::kNetwork, 1017, 1018, 12),
    record("FTP", 1020, 1021, 1022, 264),
    record("SNTP", 1024, 1025, 1026, 72),
    record("flash and trigger", 1028, 1029, 1030, 668),
    record("OSD", 1032, 1033, 1034, 60),
    record("picture file name", 1036, 1037, 1038, 40),
    record("RS485", 1251, 1252, 1253, 16),
    record("RS232", 1254, 1255, 1256, 16),
    record("speed", 1257, 1258, 1259, 132),
});

}  // namespace

std::span<const SettingDef> settingDefs() { return kSettings; }

const SettingDef* findSetting(int32_t key) {
  for (const auto& def : kSettings) {
    if (def.key() == key) return &def;
  }
  return nullptr;
}

}  // namespace vktemu
