// LoadFusion against stand-in fusion.dll modules loaded through the platform layer.
#include "gac/assembly_cache_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "fake_fusion_fixture.h"

namespace {

using AssemblyCacheClientTest = FakeFusionTest;

TEST_F(AssemblyCacheClientTest, WithoutAFrameworkNothingIsLoaded) {
  // A fusion.dll lies where a framework would be, but the registry records none.
  const std::string unrecorded = windowsDir_ + "/Microsoft.NET/Framework/v4.0.30319/fusion.dll";
  std::filesystem::create_directories(std::filesystem::path(unrecorded).parent_path());
  std::filesystem::copy_file(ZT4GAC_FAKE_FUSION, unrecorded);

  { AssemblyCacheClient untouched; }
  {
    AssemblyCacheClient client;
    EXPECT_EQ(client.LoadFusion(nullptr), 3);
    EXPECT_EQ(client.LoadFusion("v4.0"), 3);
    EXPECT_FALSE(IsLoaded(unrecorded));
  }
  EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0);

  // No Windows directory at all: no framework either.
  AddFramework("v4.0", "30319", "");
  unsetenv("ZT4GAC_WINDOWS_DIR");
  AssemblyCacheClient client;
  EXPECT_EQ(client.LoadFusion(nullptr), 3);
  EXPECT_FALSE(IsLoaded(unrecorded));
}

TEST_F(AssemblyCacheClientTest, LoadsTheNewestFrameworkAndUnloadsItWhenDestroyed) {
  // Text order, not numeric: v4.0 is newer than v10.0 and v2.0.
  const std::string v2 = AddFramework("v2.0", "50727", ZT4GAC_FAKE_FUSION);
  const std::string v4 = AddFramework("v4.0", "30319", ZT4GAC_FAKE_FUSION);
  const std::string v10 = AddFramework("v10.0", "1", ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_CACHE);
  {
    AssemblyCacheClient client;
    EXPECT_EQ(client.LoadFusion(nullptr), 0);
    EXPECT_TRUE(IsLoaded(v4));
    EXPECT_FALSE(IsLoaded(v2));
    EXPECT_FALSE(IsLoaded(v10));
  }
  EXPECT_FALSE(IsLoaded(v4));

  {
    AssemblyCacheClient client;
    EXPECT_EQ(client.LoadFusion("V2.0"), 0);  // matched after ASCII lowering
    EXPECT_TRUE(IsLoaded(v2));
    EXPECT_FALSE(IsLoaded(v4));
  }
  EXPECT_FALSE(IsLoaded(v2));
}

TEST_F(AssemblyCacheClientTest, UnknownTagGives4WithoutLoadingAnything) {
  const std::string v4 = AddFramework("v4.0", "30319", ZT4GAC_FAKE_FUSION);
  // A folder with a loadable fusion.dll that the registry does not record.
  const std::string unrecorded = windowsDir_ + "/Microsoft.NET/Framework/v2.0.50727/fusion.dll";
  std::filesystem::create_directories(std::filesystem::path(unrecorded).parent_path());
  std::filesystem::copy_file(ZT4GAC_FAKE_FUSION, unrecorded);

  AssemblyCacheClient client;
  EXPECT_EQ(client.LoadFusion("v2.0"), 4);
  EXPECT_EQ(client.LoadFusion("v4.0.30319"), 4);  // a directory name is not a version key
  EXPECT_EQ(client.LoadFusion(""), 4);
  EXPECT_FALSE(IsLoaded(unrecorded));
  EXPECT_FALSE(IsLoaded(v4));
}

TEST_F(AssemblyCacheClientTest, MissingOrUnloadableFusionDll) {
  // The folder exists but holds no fusion.dll.
  AddFramework("v4.0", "30319", "");
  {
    AssemblyCacheClient client;
    EXPECT_EQ(client.LoadFusion(nullptr), 8);
  }

  // A directory named fusion.dll is no file: the existence test stops it before a load is tried (7).
  const std::string directoryNamedLikeTheModule = AddFramework("v4.0", "30319", "");
  std::filesystem::create_directory(directoryNamedLikeTheModule);
  {
    AssemblyCacheClient client;
    EXPECT_EQ(client.LoadFusion(nullptr), 8);
  }
  std::filesystem::remove(directoryNamedLikeTheModule);

  AddFramework("v4.0", "30319", ZT4GAC_NOT_A_MODULE);
  AssemblyCacheClient client;
  EXPECT_EQ(client.LoadFusion(nullptr), 7);
}

TEST_F(AssemblyCacheClientTest, EachMissingExportHasItsCodeAndTheModuleStaysUntilDestruction) {
  const struct {
    const char* module;
    int code;
  } cases[] = {
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_CACHE, 9},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_NAME_OBJECT, 10},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_ENUM, 11},
      // Never called, yet required.
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_INSTALL_REFERENCE_ENUM, 12},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.code);
    const std::string path = AddFramework("v4.0", "30319", testCase.module);
    {
      AssemblyCacheClient client;
      EXPECT_EQ(client.LoadFusion(nullptr), testCase.code);
      EXPECT_TRUE(IsLoaded(path));
    }
    EXPECT_FALSE(IsLoaded(path));
    std::filesystem::remove(path);
  }
}

}  // namespace
