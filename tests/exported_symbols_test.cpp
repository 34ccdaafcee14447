// The shared library exports exactly the interface: the checked-in list,
// nothing more, nothing less; and it carries its versioned soname.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

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

TEST(ExportedSymbols, MatchTheCheckedInList) {
  std::ifstream expectedFile(VKT_EXPECTED_SYMBOLS);
  ASSERT_TRUE(expectedFile.good());
  std::string expectedText((std::istreambuf_iterator<char>(expectedFile)), std::istreambuf_iterator<char>());
  const auto expected = Lines(expectedText);
  ASSERT_FALSE(expected.empty());

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
