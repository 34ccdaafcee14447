#include "setting_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

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

constexpr double kStep = 0.125;
constexpr int32_t kMaxSteps = 0x3FF;  // ten bits
constexpr int kMagnitudeShift = 5;
constexpr int32_t kSignBit = 0x8000;

constexpr double kFactoryTemperature = 36.5;

// By key. Mode switches keep to their 0/1 range; rotation leaves the
// factory unrotated.
constexpr auto kFactoryValues = std::to_array<std::pair<int32_t, int32_t>>({
    {704, 1},    // AE mode: automatic
    {708, 0},    // AWB mode
    {720, 3},    // flash lamp state
    {1180, 0},   // image rotation, degrees
    {1064, 4},   // stream picture type
    {1076, 8},   // time zone
    {1270, 6},   // picture pixel size
    {1310, 50},  // level value
    {1312, 7},   // auto synchronisation
    {1301, 2},   // work mode
    {1302, 9},   // camera mode
    {1314, 85},  // electricity
});

// Little-endian words (key << 16) | n, n counting from 1: every word of every
// record differs, and a hex dump shows whose it is.
std::vector<uint8_t> numberedWords(int32_t key, uint32_t size) {
  std::vector<uint8_t> out(size);
  for (uint32_t at = 0, n = 1; at < size; at += 4, ++n) wire::storeLe32(out, at, (static_cast<uint32_t>(key) << 16) | n);
  return out;
}

// Zero padded and always zero terminated.
void putText(std::vector<uint8_t>& out, size_t at, size_t field, std::string_view text) {
  const size_t n = std::min(text.size(), field - 1);
  std::memcpy(out.data() + at, text.data(), n);
}

// Model, name, firmware and serial number as text fields of 32, 32, 16 and
// 20 bytes.
std::vector<uint8_t> deviceInformation(const CameraConfig& config) {
  std::vector<uint8_t> out(100);
  char serial[20];
  std::snprintf(serial, sizeof serial, "SN%02X%02X%02X%02X%02X%02X", config.mac[0], config.mac[1], config.mac[2],
                config.mac[3], config.mac[4], config.mac[5]);
  putText(out, 0, 32, config.model);
  putText(out, 32, 32, config.infoText2);
  putText(out, 64, 16, config.infoText1);
  putText(out, 80, 20, serial);
  return out;
}

// The flash and trigger record (1028) as a camera ships it: a head with the
// lamp settings, then one entry per trigger input. Values a real camera
// could hold, each entry a little different so a client that mixes them up
// is caught.
constexpr uint32_t kFlashHeadWord = 0x01000000;
constexpr uint32_t kLampWordA = 120, kLampWordB = 3, kLampWordC = 500, kLampWordD = 40, kLampWordE = 60;
constexpr size_t kFlashHeadSize = 28;
constexpr size_t kTriggerEntrySize = 40;
constexpr uint32_t kTriggers = 16;

std::vector<uint8_t> flashAndTrigger(uint32_t size) {
  std::vector<uint8_t> out(size);
  wire::storeLe32(out, 0, kFlashHeadWord);
  wire::storeLe32(out, 4, kLampWordA);
  wire::storeLe32(out, 8, kLampWordB);
  for (size_t at = 12; at < kFlashHeadSize; at += 4) wire::storeLe32(out, at, kLampWordC);
  for (uint32_t i = 0; i < kTriggers; ++i) {
    const size_t at = kFlashHeadSize + kTriggerEntrySize * i;
    const uint32_t bits1 = i % 2 == 0 ? 0x40000000u | (i % 16) | ((i % 8) << 4) | 0x80000000u : (i % 8) << 4;
    wire::storeLe32(out, at, i % 2);
    wire::storeLe32(out, at + 4, i);  // trigger number minus 1
    wire::storeLe32(out, at + 8, 1);
    wire::storeLe32(out, at + 12, 1000 + i);
    wire::storeLe32(out, at + 16, kLampWordD);
    wire::storeLe32(out, at + 20, kLampWordE);
    wire::storeLe32(out, at + 24, 2000 + i);
    wire::storeLe32(out, at + 28, 3000 + i);
    wire::storeLe32(out, at + 32, bits1);
    wire::storeLe32(out, at + 36, (i % 16) | ((i % 2) << 31));
  }
  return out;
}

}  // namespace

std::span<const SettingDef> settingDefs() { return kSettings; }

const SettingDef* findSetting(int32_t key) {
  for (const auto& def : kSettings) {
    if (def.key() == key) return &def;
  }
  return nullptr;
}

std::vector<uint8_t> networkRecord(const wire::Ipv4& address, uint32_t word1, uint32_t word2) {
  std::vector<uint8_t> out(12);
  std::copy(address.begin(), address.end(), out.begin());
  std::memcpy(out.data() + 4, &word1, 4);
  std::memcpy(out.data() + 8, &word2, 4);
  return out;
}

SettingValues factorySettings(const CameraConfig& config) {
  SettingValues out;
  for (const auto& def : settingDefs()) {
    const int32_t key = def.key();
    if (def.form == SettingForm::kRecord) {
      out.records[key] = numberedWords(key, def.size);
    } else {
      out.values[key] = 0;
    }
  }
  for (const auto& [key, value] : kFactoryValues) out.values.at(key) = value;
  out.values.at(wire::command::kTemperature) = encodeTemperature(kFactoryTemperature);
  out.records.at(wire::command::kDeviceInfo) = deviceInformation(config);
  out.records.at(wire::command::kFlashAndTrigger) =
      flashAndTrigger(findSetting(wire::command::kFlashAndTrigger)->size);
  out.records.at(wire::command::kNetwork) = networkRecord(wire::parseIpv4(config.address).value_or(wire::Ipv4{}),
                                                          config.addressWord1, config.addressWord2);
  return out;
}


int32_t encodeTemperature(double degrees) {
  if (std::isnan(degrees)) return 0;
  const double steps = std::min(std::round(std::fabs(degrees) / kStep), static_cast<double>(kMaxSteps));
  const auto magnitude = static_cast<int32_t>(steps);
  // No "minus zero": a reading that rounds to 0 goes out as plain 0.
  const int32_t sign = degrees < 0 && magnitude != 0 ? kSignBit : 0;
  return sign | (magnitude << kMagnitudeShift);
}

}  // namespace vktemu
