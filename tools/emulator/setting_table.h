// Which settings a camera keeps and how each travels on the command channel:
// its Get, Set and GetDefault commands, and whether it is a value (in the
// header's value field) or a record (a payload of fixed size).
#pragma once

#include <cstdint>
#include <span>

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

}  // namespace vktemu
