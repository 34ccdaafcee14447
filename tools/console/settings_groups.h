// The settings page shows vktcli's catalogue in the order it lists its
// rows, cut into the sections the catalogue follows (those of the library's
// header: picture, device and state, network and time, traffic and I/O).
// A section starts at a named row and runs to the next section's first row,
// so a setting added to the catalogue appears without a change here.
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
