// Selection from the catalogue by framework mask and by provider version text. The tables'
// folders and file paths are checked where they are used: by the install command's tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/assembly_catalog.h"

namespace {

TEST(AssemblyCatalogTest, MaskSelectsEntriesInTableOrder) {
  const struct {
    uint32_t mask;
    std::vector<int32_t> bits;
  } cases[] = {{0, {}}, {1, {1}}, {2, {2}}, {3, {1, 2}}, {0xFFFFFFFFu, {1, 2}}};
  for (const auto& testCase : cases) {
    std::vector<int32_t> bits;
    for (const CatalogEntry& entry : targetTable32) {
      if (IsSelectedByMask(entry, testCase.mask)) bits.push_back(entry.frameworkBit);
    }
    EXPECT_EQ(bits, testCase.bits) << "mask " << testCase.mask;
  }
}

TEST(AssemblyCatalogTest, VersionTextMatchesAsAPrefix) {
  const std::vector<std::string> both{"10.1.6.DEF.2", "10.1.6.DEF.4"};
  const struct {
    const char* versionPrefix;
    std::vector<std::string> names;
  } cases[] = {
      {"", both}, {"10.1.6", both}, {"10.1.6.4", {"10.1.6.DEF.4"}}, {"10.1.6.2", {"10.1.6.DEF.2"}},
      {"9", {}},  {"10.1.6.2.0", {}}, {"0.1.6", {}},  // a prefix, not a substring
  };
  for (const auto& testCase : cases) {
    std::vector<std::string> names;
    for (const CatalogEntry& entry : targetTable) {
      if (MatchesProviderVersion(entry, testCase.versionPrefix)) names.push_back(entry.copyValueName);
    }
    EXPECT_EQ(names, testCase.names) << "\"" << testCase.versionPrefix << "\"";
  }
}

}  // namespace
