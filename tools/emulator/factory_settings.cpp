#include "factory_settings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "command_wire.h"
#include "setting_table.h"
#include "temperature_word.h"

namespace vktemu {
namespace {

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

void putWord(std::vector<uint8_t>& out, size_t at, uint32_t word) {
  for (size_t i = 0; i < 4 && at + i < out.size(); ++i) out[at + i] = static_cast<uint8_t>(word >> (8 * i));
}

// Little-endian words (key << 16) | n, n counting from 1: every word of every
// record differs, and a hex dump shows whose it is.
std::vector<uint8_t> numberedWords(int32_t key, uint32_t size) {
  std::vector<uint8_t> out(size);
  for (uint32_t at = 0, n = 1; at < size; at += 4, ++n) putWord(out, at, (static_cast<uint32_t>(key) << 16) | n);
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
  putWord(out, 0, kFlashHeadWord);
  putWord(out, 4, kLampWordA);
  putWord(out, 8, kLampWordB);
  for (size_t at = 12; at < kFlashHeadSize; at += 4) putWord(out, at, kLampWordC);
  for (uint32_t i = 0; i < kTriggers; ++i) {
    const size_t at = kFlashHeadSize + kTriggerEntrySize * i;
    const uint32_t bits1 = i % 2 == 0 ? 0x40000000u | (i % 16) | ((i % 8) << 4) | 0x80000000u : (i % 8) << 4;
    putWord(out, at, i % 2);
    putWord(out, at + 4, i);  // trigger number minus 1
    putWord(out, at + 8, 1);
    putWord(out, at + 12, 1000 + i);
    putWord(out, at + 16, kLampWordD);
    putWord(out, at + 20, kLampWordE);
    putWord(out, at + 24, 2000 + i);
    putWord(out, at + 28, 3000 + i);
    putWord(out, at + 32, bits1);
    putWord(out, at + 36, (i % 16) | ((i % 2) << 31));
  }
  return out;
}

}  // namespace

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

}  // namespace vktemu
