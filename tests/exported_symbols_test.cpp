// The shared library exports exactly the interface: the members of the
// settings list and the checked-in list of the other calls, nothing more,
// nothing less; and it carries its versioned soname.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "settings/settings_list.h"

namespace {

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
  pclose(pipe);
  return out;
}

std::set<std::string> Lines(const std::string& text) {
  std::set<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty()) lines.insert(line);
    start = end + 1;
  }
  return lines;
}

// The exported name of every member of the settings list.
#define NAMES_RECORD(Name, Type, get, models, shortSize, set) "VKT_GetDefault" #Name, "VKT_Get" #Name, SET_NAME_##set(Name)
#define SET_NAME_EXPORTED(Name) "VKT_Set" #Name,
#define SET_NAME_OWN_SET(Name) "VKT_Set" #Name,  // exported by its special case
#define NAMES_VALUE(Name, ...) "VKT_GetDefault" #Name, "VKT_Get" #Name, "VKT_Set" #Name,
#define NAMES_WRITTEN_VALUE(Slot, GetName, SetName, ...) "VKT_" #GetName, "VKT_" #SetName,
#define NAMES_GET_SET(Name, ...) "VKT_Get" #Name, "VKT_Set" #Name,
#define NAMES_READ(Name, ...) "VKT_Get" #Name,
#define NAMES_WRITE(Name, ...) "VKT_" #Name,
const char* const kSettingNames[] = {VKT_SETTINGS(NAMES_RECORD, NAMES_VALUE, NAMES_WRITTEN_VALUE, NAMES_GET_SET,
                                                  NAMES_READ, NAMES_WRITE, NAMES_GET_SET, VKT_SETTING_NONE)};

TEST(ExportedSymbols, MatchTheSettingsListAndTheCheckedInList) {
  std::ifstream expectedFile(VKT_EXPECTED_SYMBOLS);
  ASSERT_TRUE(expectedFile.good());
  std::string expectedText((std::istreambuf_iterator<char>(expectedFile)), std::istreambuf_iterator<char>());
  auto expected = Lines(expectedText);
  ASSERT_FALSE(expected.empty());
  for (const char* name : kSettingNames) {
    EXPECT_EQ(expected.count(name), 0u) << name << " is in the settings list: it needs no line of its own";
    expected.insert(name);
  }
  EXPECT_EQ(std::set<std::string>(std::begin(kSettingNames), std::end(kSettingNames)).size(), std::size(kSettingNames))
      << "a name twice in the settings list";

  const auto exported = Lines(RunCommand(std::string("nm -D --defined-only ") + VKT_LIBRARY_PATH +
                                         " | awk '{print $3}'"));
  EXPECT_EQ(exported, expected);
}

TEST(ExportedSymbols, SetLogOutputKeepsItsCxxName) {
  const auto exported = Lines(RunCommand(std::string("nm -D --defined-only ") + VKT_LIBRARY_PATH +
                                         " | awk '{print $3}'"));
  EXPECT_EQ(exported.count("_Z12SetLogOutputv"), 1u);
  EXPECT_EQ(exported.count("SetLogOutput"), 0u);
}

TEST(ExportedSymbols, SharedObjectHasVersionedSoname) {
  const std::string dynamic = RunCommand(std::string("readelf -d ") + VKT_LIBRARY_PATH);
  EXPECT_NE(dynamic.find(std::string("[") + VKT_SONAME + "]"), std::string::npos) << dynamic;
}

}  // namespace
