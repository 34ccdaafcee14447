#include "settings_groups.h"

namespace vktconsole {

std::vector<SettingGroup> GroupSettings(std::span<const vktcli::Setting> catalogue) {
  std::vector<SettingGroup> groups;
  for (const vktcli::Setting& setting : catalogue) {
    for (const vktcli::SettingSection& start : vktcli::SettingSections()) {
      if (setting.name == start.firstSetting) groups.push_back({start.title, {}});
    }
    if (groups.empty()) groups.push_back({"Other", {}});
    groups.back().settings.push_back(&setting);
  }
  return groups;
}

}  // namespace vktconsole
