// The "-u" command in-process against the stand-in registry and the stand-in fusion.dll: the
// names handed to the cache for each version list, what goes from the registry, the result.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/provider_installer.h"
#include "fake_fusion_fixture.h"

#include "product_keys.h"

namespace {

using platform::standin::RegistryValueExists;
using platform::standin::SetRegistryString;


class UninstallCommandTest : public FakeFusionTest {
 protected:
  void SetUp() override {
    FakeFusionTest::SetUp();
    Prepare();
  }

  // Both frameworks, both copy records, the registration, and the four assemblies cached.
  void Prepare() {
    platform::standin::ResetRegistry();
    AddFramework("v2.0", "50727", ZT4GAC_FAKE_FUSION);
    AddFramework("v4.0", "30319", ZT4GAC_FAKE_FUSION);
    SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.2", "Zt4Home");
    SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.4", "Zt4Home");
    SetRegistryString(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", "C:\\Product\\bin");
    fake_fusion::State state;
    for (const std::string& name : kAssemblies) state.entries.push_back(CachedEntry(name, "10.1.6.4"));
    WriteState(state);
  }

  static int32_t Uninstall(const char* versionList) {
    ProviderInstaller installer;
    return installer.Uninstall(versionList);
  }

  // The names handed to CreateAssemblyNameObject, in order: one per removal, plus the bare
  // second assembly's name for each older-version question.
  std::vector<std::string> NamesAsked() const {
    std::vector<std::string> names;
    for (const auto& call : ReadState().CallsTo("CreateAssemblyNameObject")) names.push_back(call.Arg("name"));
    return names;
  }

  // What one item of the list asks for when no older second assembly is cached.
  static std::vector<std::string> ItemNames(const std::string& item) {
    return {"Ovk.Data.Zt4,File Version=" + item, "Ovk.Data.Quillmor", "Ovk.Data.Quillmor,File Version=" + item,
            "Ovk.Data.Zt4.ASP,File Version=" + item, "Ovk.Data.Zt4.Entity,File Version=" + item};
  }

  static bool HasCopyValue(const char* name) { return RegistryValueExists(HKEY_LOCAL_MACHINE, kCopiesKey, name); }
  static bool HasFoldersValue() { return RegistryValueExists(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4"); }
};

TEST_F(UninstallCommandTest, VersionNineRemovesQualifiedNamesAndOnlyTheFoldersValue) {
  EXPECT_EQ(Uninstall("9"), 0);
  EXPECT_EQ(NamesAsked(), ItemNames("9"));
  // The stand-in, like the platform's, does not narrow by "File Version": everything goes.
  EXPECT_TRUE(ReadState().entries.empty());
  EXPECT_EQ(ReadState().live, 0);
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.2"));
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.4"));
  EXPECT_FALSE(HasFoldersValue());
  EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0);

  // A provider version selects its own record.
  Prepare();
  EXPECT_EQ(Uninstall("10.1.6.4"), 0);
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.2"));
  EXPECT_FALSE(HasCopyValue("10.1.6.DEF.4"));
  EXPECT_FALSE(HasFoldersValue());
}

TEST_F(UninstallCommandTest, NoListRemovesBareNamesAndEveryRecord) {
  for (const char* list : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(list == nullptr ? "null" : "empty");
    Prepare();
    // Not even an older second assembly is spared on this road.
    fake_fusion::State state = ReadState();
    state.entries[1] = CachedEntry("Ovk.Data.Quillmor", "9.0.0.1");
    WriteState(state);

    EXPECT_EQ(Uninstall(list), 0);
    EXPECT_EQ(NamesAsked(), kAssemblies);
    EXPECT_TRUE(ReadState().entries.empty());
    EXPECT_FALSE(HasCopyValue("10.1.6.DEF.2"));
    EXPECT_FALSE(HasCopyValue("10.1.6.DEF.4"));
    EXPECT_FALSE(HasFoldersValue());
  }
}

TEST_F(UninstallCommandTest, ListsAreSplitAtSemicolonsAndEmptyItemsSkipped) {
  const struct {
    const char* list;
    std::vector<std::string> items;
  } cases[] = {
      {"a;b", {"a", "b"}}, {"a;", {"a"}}, {";a", {"a"}}, {"a;;b", {"a", "b"}}, {";", {}}, {" 9 ", {" 9 "}},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(std::string("list \"") + testCase.list + "\"");
    Prepare();
    const std::string before = platform::standin::ExportRegistry();
    EXPECT_EQ(Uninstall(testCase.list), 0);
    std::vector<std::string> expected;
    for (const std::string& item : testCase.items) {
      for (const std::string& name : ItemNames(item)) expected.push_back(name);
    }
    EXPECT_EQ(NamesAsked(), expected);
    // Only a real item withdraws the registration.
    if (testCase.items.empty()) {
      EXPECT_EQ(platform::standin::ExportRegistry(), before);
    } else {
      EXPECT_FALSE(HasFoldersValue());
    }
  }
}

TEST_F(UninstallCommandTest, OlderSecondAssemblyIsAskedAboutForEachItem) {
  // Item a finds 9.0.0.2 first and removes the second assembly, but the older 8.0.0.0 stays
  // in use; item b then finds only that one and leaves the second assembly alone.
  const fake_fusion::Entry older = CachedEntry("Ovk.Data.Quillmor", "8.0.0.0");
  fake_fusion::State state;
  state.entries = {CachedEntry("Ovk.Data.Quillmor", "9.0.0.2"), older};
  WriteState(state);
  ScriptUninstall(older.displayName, IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE, S_OK);

  // The failed removal is not the entity assembly's, yet it fails the command.
  EXPECT_EQ(Uninstall("a;b"), 1);
  std::vector<std::string> expected = ItemNames("a");
  expected.insert(expected.end(), {"Ovk.Data.Zt4,File Version=b", "Ovk.Data.Quillmor",
                                   "Ovk.Data.Zt4.ASP,File Version=b", "Ovk.Data.Zt4.Entity,File Version=b"});
  EXPECT_EQ(NamesAsked(), expected);
  ASSERT_EQ(ReadState().entries.size(), 1u);
  EXPECT_EQ(ReadState().entries[0].displayName, older.displayName);
}

TEST_F(UninstallCommandTest, AnyFailedRemovalFailsTheCommand) {
  // Only the entity assembly is cached. Its removal fails for item a and succeeds for b:
  // a later success does not hide the earlier failure.
  fake_fusion::State state;
  state.entries = {CachedEntry("Ovk.Data.Zt4.Entity", "10.1.6.4")};
  WriteState(state);
  ScriptNext("UninstallAssembly", static_cast<HRESULT>(0x80070005u));
  EXPECT_EQ(Uninstall("a;b"), 1);
  EXPECT_EQ(ReadState().CallsTo("IAssemblyCache.UninstallAssembly").size(), 2u);
  EXPECT_TRUE(ReadState().entries.empty());

  // One entry still in use, whichever assembly it is.
  for (const std::string& name : kAssemblies) {
    SCOPED_TRACE(name);
    Prepare();
    ScriptUninstall(CachedEntry(name, "10.1.6.4").displayName, IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE, S_OK);
    EXPECT_EQ(Uninstall("9"), 1);
    EXPECT_EQ(ReadState().entries.size(), 1u);
    EXPECT_FALSE(HasFoldersValue());
  }

  // Every removal good, or nothing left to remove: success.
  Prepare();
  EXPECT_EQ(Uninstall("a;b"), 0);
  EXPECT_EQ(Uninstall("a;b"), 0);
}

TEST_F(UninstallCommandTest, NoFrameworkOrNoFusionRemovesNothing) {
  const fake_fusion::State cached = ReadState();
  const auto expectNothingRemoved = [&](int32_t expected) {
    const std::string before = platform::standin::ExportRegistry();
    for (const char* list : {"9", ""}) {
      EXPECT_EQ(Uninstall(list), expected);
      EXPECT_EQ(platform::standin::ExportRegistry(), before);
      EXPECT_EQ(ReadState().entries.size(), cached.entries.size());
      EXPECT_TRUE(ReadState().calls.empty());
    }
  };

  // No framework: fusion.dll is not even looked for.
  platform::standin::ResetRegistry();
  SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.2", "Zt4Home");
  SetRegistryString(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", "C:\\Product\\bin");
  expectNothingRemoved(0);

  // fusion.dll missing from the newest framework's folder, or lacking an entry point.
  for (const char* module : {"", ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_ENUM}) {
    SCOPED_TRACE(module);
    Prepare();
    std::filesystem::remove(windowsDir_ + "/Microsoft.NET/Framework/v4.0.30319/fusion.dll");
    AddFramework("v4.0", "30319", module);
    expectNothingRemoved(4);
  }
}

}  // namespace
