#include "settings_listing.h"

#include <vector>

#include "format.h"
#include "json_text.h"

namespace vktcli {

namespace {

std::string_view YesNo(bool available) { return available ? "yes" : "-"; }

std::string_view KindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::Value: return "value";
    case SettingKind::Record: return "record";
    case SettingKind::Entries: return "entries";
  }
  return "record";
}

}  // namespace

std::string FormatSettingsTable(std::span<const Setting> settings) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"NAME", "KIND", "GET", "SET", "DEFAULT", "DESCRIPTION"});
  for (const Setting& s : settings) {
    rows.push_back({std::string(s.name), DescribeKind(*s.layout), std::string(YesNo(static_cast<bool>(s.get))),
                    std::string(YesNo(static_cast<bool>(s.set))),
                    std::string(YesNo(static_cast<bool>(s.getDefault))), std::string(s.description)});
  }
  return AlignedColumns(rows);
}

std::string FormatSettingsJson(std::span<const Setting> settings) {
  Json list = Json::array();
  for (const Setting& s : settings) {
    Json fields = Json::array();
    for (const Field& field : s.layout->fields) fields.push_back(field.name);
    list.push_back({{"name", s.name},
                    {"kind", KindName(s.layout->kind)},
                    {"get", static_cast<bool>(s.get)},
                    {"set", static_cast<bool>(s.set)},
                    {"default", static_cast<bool>(s.getDefault)},
                    {"fields", fields},
                    {"description", s.description}});
  }
  return JsonArrayLines(list);
}

}  // namespace vktcli
