// Which settings a camera keeps, how each travels on the command channel
// (its Get, Set and GetDefault commands, and whether it is a value in the
// header's value field or a record, a payload of fixed size), and what each
// holds when the camera leaves the factory.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "emulator.h"
#include "wire.h"

namespace vktemu {

enum class SettingForm { kValue, kRecord };

struct SettingDef {
  const char* name;
  int32_t get;         // 0: none
  int32_t set;         // 0: none
  int32_t getDefault;  // 0: none
  SettingForm form;
  uint32_t size;  // record bytes; 0 for a value
  // Read from the hardware rather than stored: a reset leaves it alone.
  bool measured = false;
  // Older firmware keeps only the first this many bytes of the record
  // (SettingsModel::shortForms()); 0: the record has no short form.
  uint32_t shortSize = 0;

  // How the model and the emulator's API name the setting: its Get command,
  // or its Set command when it has no Get.
  int32_t key() const { return get != 0 ? get : set; }
};

std::span<const SettingDef> settingDefs();
const SettingDef* findSetting(int32_t key);  // nullptr when none has this key

// Values and records of every setting, by key.
struct SettingValues {
  std::map<int32_t, int32_t> values;
  std::map<int32_t, std::vector<uint8_t>> records;
};

// A recognisable value or record for every setting, each different from
// the others, so a client that reads the wrong setting or the wrong bytes
// is caught.
SettingValues factorySettings(const CameraConfig& config);

// The network record (1016): the camera's own address, then the two address
// words, all as they go on the wire.
std::vector<uint8_t> networkRecord(const wire::Ipv4& address, uint32_t word1, uint32_t word2);

// How a camera reports its temperature (command 200): only the low 16 bits
// of the value count; bit 15 is the sign, bits 5..14 the magnitude in steps
// of 0.125 degree, bits 0..4 carry nothing. Rounded to the nearest step;
// magnitudes beyond 127.875 degrees are cut to it. The unused bits are zero.
int32_t encodeTemperature(double degrees);

}  // namespace vktemu
