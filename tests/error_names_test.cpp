// The tools' table of error names lists exactly the codes of the public
// header, under the same names and values.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "VKTNetSDK11.h"
#include "error_names.h"

namespace {

std::map<std::string, unsigned long> CodesInHeader() {
  std::ifstream header(VKT_PUBLIC_HEADER);
  std::map<std::string, unsigned long> codes;
  std::regex define(R"(^#define\s+(VKT_OK|VKT_ERR_\w+)\s+\(?(?:\(int\))?(0x[0-9A-Fa-f]+|\d+)u?\)?)");
  std::string line;
  while (std::getline(header, line)) {
    std::smatch m;
    if (std::regex_search(line, m, define)) codes[m[1]] = std::stoul(m[2], nullptr, 0);
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
