// The tools keep tables of their own (the Python package, the Wireshark
// dissector): each is checked here against the one place the library keeps
// the fact, so that a change there without the tools fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "VKTNetSDK11.h"
#include "camera/protocol.h"
#include "settings/settings_list.h"

namespace {

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(VKT_SOURCE_DIR) + "/" + relative);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string HeaderVersion() {
  return std::to_string(VKTNETSDK_VERSION_MAJOR) + "." + std::to_string(VKTNETSDK_VERSION_MINOR) + "." +
         std::to_string(VKTNETSDK_VERSION_PATCH);
}

// The quoted text after `key` (as in `key = "1.0.0"`) in the file, or "".
std::string QuotedAfter(const std::string& relative, const std::string& key) {
  const std::string text = ReadSource(relative);
  const size_t at = text.find(key + " = \"");
  if (at == std::string::npos) return "";
  const size_t start = at + key.size() + 4;
  const size_t end = text.find('"', start);
  return end == std::string::npos ? "" : text.substr(start, end - start);
}

TEST(ToolTables, EveryVersionIsTheHeaders) {
  const std::string version = HeaderVersion();
  EXPECT_EQ(QuotedAfter("python/pyproject.toml", "\nversion"), version);
  EXPECT_EQ(QuotedAfter("python/vktnet/__init__.py", "__version__"), version);
  EXPECT_EQ(QuotedAfter("tools/wireshark/vktnet.lua", "  version"), version);
}

// One row of the dissector's settings table.
struct LuaSetting {
  int get = 0, set = 0, getDefault = 0, size = 0, shortSize = 0;
};

// The number after `name = ` in a row of the table (0: no such field).
int Field(const std::string& row, const std::string& name) {
  const std::string key = " " + name + " = ";
  const size_t at = row.find(key);
  if (at == std::string::npos) return 0;
  return std::atoi(row.c_str() + at + key.size());
}

// The dissector's settings rows, by their Get command (their Set command
// when they have no Get).
std::map<int, LuaSetting> DissectorSettings() {
  const std::string lua = ReadSource("tools/wireshark/vktnet.lua");
  const size_t start = lua.find("local SETTINGS = {");
  const size_t end = lua.find("\n}\n", start);
  std::map<int, LuaSetting> rows;
  if (start == std::string::npos || end == std::string::npos) return rows;
  std::istringstream table(lua.substr(start, end - start));
  for (std::string line; std::getline(table, line);) {
    if (line.find("{ ") == std::string::npos) continue;
    LuaSetting s{Field(line, "get"), Field(line, "set"), Field(line, "default"), Field(line, "size"),
                 Field(line, "short")};
    rows[s.get != 0 ? s.get : s.set] = s;
  }
  return rows;
}

// What the settings list says of each setting, in the dissector's terms.
struct Expected {
  const char* name;
  LuaSetting row;
};

#define ROW_RECORD(Name, Type, get, models, shortSize, set) {#Name, {get, (get) + 1, (get) + 2, static_cast<int>(sizeof(Type)), shortSize}},
#define ROW_VALUE(Name, get, ...) {#Name, {get, (get) + 1, (get) + 2, 0, 0}},
#define ROW_WRITTEN_VALUE(Slot, GetName, SetName, get, ...) {#Slot, {get, (get) + 1, 0, 0, 0}},
#define ROW_WRITTEN_RECORD(Name, Type, get) {#Name, {get, (get) + 1, 0, static_cast<int>(sizeof(Type)), 0}},
#define ROW_READ(Name, get, ...) {#Name, {get, 0, 0, 0, 0}},
#define ROW_WRITE(Name, set) {#Name, {0, set, 0, 0, 0}},
#define ROW_READ_WRITE(Name, get, ...) {#Name, {get, (get) + 1, 0, 0, 0}},
const Expected kExpected[] = {VKT_SETTINGS(ROW_RECORD, ROW_VALUE, ROW_WRITTEN_VALUE, ROW_WRITTEN_RECORD, ROW_READ,
                                           ROW_WRITE, ROW_READ_WRITE, VKT_SETTING_NONE)};

TEST(ToolTables, TheDissectorKnowsEverySettingAsTheLibrarySendsIt) {
  const auto rows = DissectorSettings();
  ASSERT_FALSE(rows.empty()) << "the dissector's settings table was not found";
  for (const Expected& e : kExpected) {
    const int key = e.row.get != 0 ? e.row.get : e.row.set;
    auto it = rows.find(key);
    if (it == rows.end()) {
      ADD_FAILURE() << e.name << ": no dissector row for command " << key;
      continue;
    }
    const LuaSetting& s = it->second;
    EXPECT_EQ(s.set, e.row.set) << e.name;
    EXPECT_EQ(s.getDefault, e.row.getDefault) << e.name;
    EXPECT_EQ(s.size, e.row.size) << e.name;
    EXPECT_EQ(s.shortSize, e.row.shortSize) << e.name;
  }
  // The combined flash lamp and trigger record, read and written as one.
  auto combined = rows.find(vkt::command::kGetTriggFlash);
  ASSERT_NE(combined, rows.end());
  EXPECT_EQ(combined->second.set, vkt::command::kSetTriggFlash);
  EXPECT_EQ(combined->second.getDefault, vkt::command::kGetDefaultTriggFlash);
  EXPECT_EQ(rows.size(), std::size(kExpected) + 1) << "a dissector row the library does not send";
}

TEST(ToolTables, TheDissectorNamesEveryOtherCommand) {
  const std::string lua = ReadSource("tools/wireshark/vktnet.lua");
  using namespace vkt::command;
  for (int32_t code : {kSaveConfig, kNtpTiming, kSnapshot, kRestart, kFactoryReset, kState, kPushTarget,
                       kStreamTarget, kStreamMode, kGetClock, kSetClock, kSDCardState, kFormatSDCard,
                       kFormatProgress, kDirectoryTree, kGetJPGPic, kDeleteJPGPic}) {
    EXPECT_NE(lua.find(std::string("[").append(std::to_string(code)).append("] = \"")), std::string::npos)
        << "command " << code;
  }
  EXPECT_NE(lua.find(std::string("local PICTURE_PORT = ").append(std::to_string(vkt::kPicturePort)).append("\n")),
            std::string::npos);
}

}  // namespace
