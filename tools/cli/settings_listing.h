// "vktcli settings": the catalog as a table or as JSON.
#pragma once

#include <span>
#include <string>

#include "settings_catalog.h"

namespace vktcli {

// NAME, KIND, GET, SET, DEFAULT, DESCRIPTION; header first.
std::string FormatSettingsTable(std::span<const Setting> settings);

// An array of {"name", "kind", "get", "set", "default", "fields",
// "description"} objects, one per line. "kind" is "value", "record" or
// "entries" (then "fields" are those of one entry).
std::string FormatSettingsJson(std::span<const Setting> settings);

}  // namespace vktcli
