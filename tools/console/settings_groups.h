// The settings page shows vktcli's catalogue in the order it lists its
// rows, cut into the catalogue's sections (vktcli::SettingSections), so a
// setting added to the catalogue appears without a change here.
#pragma once

#include <string_view>
#include <vector>

#include "settings_catalog.h"

namespace vktconsole {

struct SettingGroup {
  std::string_view title;
  std::vector<const vktcli::Setting*> settings;
};

// Every setting of the catalogue exactly once, in its order. Rows before
// the first named start (none today) open an untitled "Other" section.
std::vector<SettingGroup> GroupSettings(std::span<const vktcli::Setting> catalogue);

}  // namespace vktconsole
