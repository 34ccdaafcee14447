#include "settings_groups.h"

#include <array>

namespace vktconsole {

namespace {

struct GroupStart {
  std::string_view title;
  std::string_view firstSetting;
};

constexpr std::array<GroupStart, 4> kGroupStarts{{
    {"Picture", "ae"},
    {"Device and state", "device-info"},
    {"Network and time", "network"},
    {"Traffic and I/O", "its"},
}};

}  // namespace

std::vector<SettingGroup> GroupSettings(std::span<const vktcli::Setting> catalogue) {
  std::vector<SettingGroup> groups;
  for (const vktcli::Setting& setting : catalogue) {
    for (const GroupStart& start : kGroupStarts) {
      if (setting.name == start.firstSetting) groups.push_back({start.title, {}});
    }
    if (groups.empty()) groups.push_back({"Other", {}});
    groups.back().settings.push_back(&setting);
  }
  return groups;
}

}  // namespace vktconsole
