#include "settings_listing.h"

#include <algorithm>
#include <array>
#include <vector>

#include "json_text.h"

namespace vktcli {

namespace {

constexpr std::size_t kColumns = 6;
using Row = std::array<std::string, kColumns>;

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
  std::vector<Row> rows;
  rows.push_back({"NAME", "KIND", "GET", "SET", "DEFAULT", "DESCRIPTION"});
  for (const Setting& s : settings) {
    rows.push_back({std::string(s.name), DescribeKind(*s.layout), std::string(YesNo(static_cast<bool>(s.get))),
                    std::string(YesNo(static_cast<bool>(s.set))),
                    std::string(YesNo(static_cast<bool>(s.getDefault))), std::string(s.description)});
  }
  std::array<std::size_t, kColumns> widths{};
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
      if (c > 0) line += "  ";
      line += row[c];
      if (c + 1 < kColumns) line.append(widths[c] - row[c].size(), ' ');
    }
    out += line + "\n";
  }
  return out;
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
