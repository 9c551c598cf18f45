#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/assembly_catalog.h"

namespace {

std::vector<int32_t> SelectedBits(uint32_t mask) {
  std::vector<int32_t> bits;
  for (const CatalogEntry& entry : targetTable32) {
    if (IsSelectedByMask(entry, mask)) bits.push_back(entry.frameworkBit);
  }
  return bits;
}

std::vector<std::string> MatchedValueNames(const std::string& versionPrefix) {
  std::vector<std::string> names;
  for (const CatalogEntry& entry : targetTable) {
    if (MatchesProviderVersion(entry, versionPrefix)) names.push_back(entry.copyValueName);
  }
  return names;
}

TEST(AssemblyCatalogTest, MaskSelectsEntriesInTableOrder) {
  EXPECT_EQ(SelectedBits(0), std::vector<int32_t>{});
  EXPECT_EQ(SelectedBits(1), std::vector<int32_t>{1});
  EXPECT_EQ(SelectedBits(2), std::vector<int32_t>{2});
  EXPECT_EQ(SelectedBits(3), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(SelectedBits(0xFFFFFFFFu), (std::vector<int32_t>{1, 2}));
}

TEST(AssemblyCatalogTest, VersionTextMatchesAsACaseSensitivePrefix) {
  const std::vector<std::string> both{"10.1.6.DEF.2", "10.1.6.DEF.4"};
  EXPECT_EQ(MatchedValueNames(""), both);
  EXPECT_EQ(MatchedValueNames("10.1.6"), both);
  EXPECT_EQ(MatchedValueNames("10.1.6.4"), std::vector<std::string>{"10.1.6.DEF.4"});
  EXPECT_EQ(MatchedValueNames("10.1.6.2"), std::vector<std::string>{"10.1.6.DEF.2"});
  EXPECT_EQ(MatchedValueNames("9"), std::vector<std::string>{});
  EXPECT_EQ(MatchedValueNames("10.1.6.2.0"), std::vector<std::string>{});
  EXPECT_EQ(MatchedValueNames("0.1.6"), std::vector<std::string>{});  // a prefix, not a substring
}

TEST(AssemblyCatalogTest, BothTablesCarryTheSameRegistrationFields) {
  // The registration removal walks targetTable whatever table the install used.
  for (int i = 0; i < kCatalogEntryCount; ++i) {
    EXPECT_EQ(targetTable[i].frameworkBit, targetTable32[i].frameworkBit);
    EXPECT_EQ(targetTable[i].runtimeVersion, targetTable32[i].runtimeVersion);
    EXPECT_EQ(targetTable[i].copyValueName, targetTable32[i].copyValueName);
    EXPECT_EQ(targetTable[i].providerVersion, targetTable32[i].providerVersion);
    EXPECT_EQ(targetTable32[i].targetFolder, targetTable[i].targetFolder + "_32");
  }
}

TEST(AssemblyCatalogTest, AssemblyFilePathsWithAndWithoutTrailingBackslash) {
  const CatalogEntry& net20x32 = targetTable32[0];
  EXPECT_EQ(AssemblyFilePath("C:\\x", net20x32, net20x32.mainAssembly), "C:\\x\\bin\\netf20_32\\Ovk.Data.Zt4.dll");
  EXPECT_EQ(AssemblyFilePath("C:\\x\\", net20x32, net20x32.mainAssembly), "C:\\x\\bin\\netf20_32\\Ovk.Data.Zt4.dll");

  const CatalogEntry& net40 = targetTable[1];
  EXPECT_EQ(AssemblyFilePath("C:\\x", net40, net40.entityAssembly), "C:\\x\\bin\\netf40\\Ovk.Data.Zt4.Entity.dll");
  EXPECT_EQ(AssemblyFilePath("C:\\", net40, net40.secondAssembly), "C:\\bin\\netf40\\Ovk.Data.Quillmor.dll");
  EXPECT_EQ(AssemblyFilePath("\\\\server\\share\\P", targetTable32[1], targetTable32[1].aspAssembly),
            "\\\\server\\share\\P\\bin\\netf40_32\\Ovk.Data.Zt4.ASP.dll");
}

}  // namespace
