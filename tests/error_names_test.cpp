// The tools' table of error names lists exactly the codes of the public
// header, under the same names and values.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "VKTNetSDK11.h"
#include "error_names.h"

namespace {

// Every "#define VKT_OK ..." and "#define VKT_ERR_... ((int)0x...u)" line.
std::map<std::string, unsigned long> CodesInHeader() {
  std::ifstream header(VKT_PUBLIC_HEADER);
  std::map<std::string, unsigned long> codes;
  std::string line;
  while (std::getline(header, line)) {
    std::istringstream words(line);
    std::string directive, name, value;
    words >> directive >> name >> value;
    if (directive != "#define" || (name != "VKT_OK" && name.rfind("VKT_ERR_", 0) != 0)) continue;
    const size_t digits = value.find_first_of("0123456789");
    if (digits == std::string::npos) continue;
    codes[name] = std::stoul(value.substr(digits), nullptr, 0);
  }
  return codes;
}

TEST(ErrorNames, TableListsExactlyTheHeadersCodes) {
  const auto header = CodesInHeader();
  ASSERT_GE(header.size(), 24u);
  std::map<std::string, unsigned long> table;
  for (const auto& entry : vkttools::AllErrorNames()) {
    EXPECT_TRUE(table.emplace(entry.name, static_cast<unsigned>(entry.code)).second) << "twice: " << entry.name;
    EXPECT_NE(std::string(entry.text), "") << entry.name;
  }
  EXPECT_EQ(table, header);
}

TEST(ErrorNames, DescriptionsNameTheCodeSymbolically) {
  EXPECT_NE(vkttools::DescribeError(VKT_ERR_TIMEOUT).find("VKT_ERR_TIMEOUT"), std::string::npos);
  EXPECT_NE(vkttools::DescribeError(VKT_ERR_TIMEOUT).find("0x80000101"), std::string::npos);
  EXPECT_NE(vkttools::DescribeError(VKT_ERR_NOT_STARTED).find("VKT_ERR_NOT_STARTED"), std::string::npos);
  EXPECT_NE(vkttools::DescribeError(0x12345).find("unknown"), std::string::npos);
  EXPECT_EQ(vkttools::FindErrorName(0x12345), nullptr);
}

}  // namespace
