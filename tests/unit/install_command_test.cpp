// The "-i" command in-process: the stand-in registry, the stand-in fusion.dll and assembly
// files in a temporary product directory; results read back from the cache and the registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/provider_installer.h"
#include "fake_fusion_fixture.h"

#include "product_keys.h"

namespace {

using platform::standin::ReadRegistryString;
using platform::standin::RegistryKeyExists;
using platform::standin::SetRegistryString;


std::string Backslashed(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

class InstallCommandTest : public FakeFusionTest {
 protected:
  void SetUp() override {
    FakeFusionTest::SetUp();
    std::filesystem::create_directories(root_ + "/P");
    productDir_ = Backslashed(root_ + "/P");
    SetRegistryString(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", "C:\\Product\\bin");
  }

  void AddBothFrameworks() {
    AddFramework("v2.0", "50727", ZT4GAC_FAKE_FUSION);
    AddFramework("v4.0", "30319", ZT4GAC_FAKE_FUSION);
  }

  // A fresh registry (both frameworks or only v2.0, the registration, the copy "Zt4Home" at
  // the product directory), an empty cache, and the files of both targets.
  void Prepare(bool withFramework40 = true) {
    platform::standin::ResetRegistry();
    AddFramework("v2.0", "50727", ZT4GAC_FAKE_FUSION);
    if (withFramework40) AddFramework("v4.0", "30319", ZT4GAC_FAKE_FUSION);
    SetRegistryString(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", "C:\\Product\\bin");
    RegisterCopy("Zt4Home", productDir_);
    WriteState({});
    WriteBothTargets();
  }

  void RegisterCopy(const std::string& name, const std::string& path) {
    SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey + "\\" + name, "Zt4 Path Name", path);
  }

  // The four files of a target folder. Each target gets its own version, so the cache keeps
  // the targets apart and the second assembly never counts as an older one.
  void WriteAssemblies(const std::string& folder, const std::string& version, const std::string& content = "assembly") {
    fake_fusion::State state = ReadState();
    for (const std::string& name : kAssemblies) {
      const std::string path = WriteFile("P/bin/" + folder + "/" + name + ".dll", content);
      state.installVersions.push_back({path, fake_fusion::ParseVersion(version)});
    }
    WriteState(state);
  }
  void WriteBothTargets() {
    WriteAssemblies("netf20_32", "10.1.6.2");
    WriteAssemblies("netf40_32", "10.1.6.4");
  }
  void RemoveAssembly(const std::string& folder, const std::string& name) {
    ASSERT_TRUE(std::filesystem::remove(root_ + "/P/bin/" + folder + "/" + name + ".dll"));
  }

  int32_t Install(const char* directory, uint32_t mask = 3, int32_t use32BitTargets = 1) {
    ProviderInstaller installer;
    failed_ = -1;
    return installer.Install(directory, &failed_, mask, use32BitTargets);
  }
  int32_t Install() { return Install(productDir_.c_str()); }

  // The paths handed to InstallAssembly, in order.
  std::vector<std::string> InstalledPaths() const {
    std::vector<std::string> paths;
    for (const auto& call : ReadState().CallsTo("IAssemblyCache.InstallAssembly")) paths.push_back(call.Arg("path"));
    return paths;
  }
  // The paths the tool builds for these assemblies of these folders, folder by folder, then
  // those of `more`.
  std::vector<std::string> PathsOf(const std::vector<std::string>& folders,
                                   const std::vector<std::string>& names = kAssemblies,
                                   const std::vector<std::string>& more = {}) const {
    std::vector<std::string> paths;
    for (const std::string& folder : folders) {
      for (const std::string& name : names) paths.push_back(productDir_ + "\\bin\\" + folder + "\\" + name + ".dll");
    }
    paths.insert(paths.end(), more.begin(), more.end());
    return paths;
  }

  static std::string CopyValue(const std::string& valueName) {
    std::string text;
    return ReadRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, valueName, &text) ? text : "(absent)";
  }
  static bool FoldersKeyExists() { return RegistryKeyExists(HKEY_LOCAL_MACHINE, kFoldersKey); }

  std::string productDir_;
  int32_t failed_ = -1;
};

TEST_F(InstallCommandTest, MaskTableAndFrameworksChooseTargetsAndFolders) {
  const struct {
    uint32_t mask;
    const char* suffix;  // the directory given with or without a trailing backslash
    std::vector<std::string> folders;
    const char* def2;
    const char* def4;
  } cases[] = {
      {0, "", {}, "(absent)", "(absent)"},
      {1, "", {"netf20_32"}, "Zt4Home", "(absent)"},
      {2, "", {"netf40_32"}, "(absent)", "Zt4Home"},
      {3, "", {"netf20_32", "netf40_32"}, "Zt4Home", "Zt4Home"},
      {3, "\\", {"netf20_32", "netf40_32"}, "Zt4Home", "Zt4Home"},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testing::Message() << "mask " << testCase.mask << ", suffix \"" << testCase.suffix << "\"");
    Prepare();
    EXPECT_EQ(Install((productDir_ + testCase.suffix).c_str(), testCase.mask), 0);
    EXPECT_EQ(failed_, 0);
    EXPECT_EQ(InstalledPaths(), PathsOf(testCase.folders));
    EXPECT_EQ(ReadState().live, 0);
    EXPECT_EQ(CopyValue("10.1.6.DEF.2"), testCase.def2);
    EXPECT_EQ(CopyValue("10.1.6.DEF.4"), testCase.def4);
    // Even a run that selected nothing withdraws the registration.
    EXPECT_FALSE(FoldersKeyExists());
    EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0);
  }

  // The other table takes its files from "netf20" and "netf40"; the "_32" folders are empty.
  std::filesystem::remove_all(root_ + "/P/bin");
  WriteState({});
  WriteAssemblies("netf20", "10.1.6.2");
  WriteAssemblies("netf40", "10.1.6.4");
  EXPECT_EQ(Install(productDir_.c_str(), 3, 0), 0);
  EXPECT_EQ(InstalledPaths(), PathsOf({"netf20", "netf40"}));
  EXPECT_EQ(Install(productDir_.c_str(), 3, 1), 1);
  EXPECT_EQ(failed_, 3);
  EXPECT_EQ(InstalledPaths().size(), 8u);  // nothing more

  // Only v2.0 installed: the 4.0 target is skipped without a failure.
  Prepare(false);
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(failed_, 0);
  EXPECT_EQ(InstalledPaths(), PathsOf({"netf20_32"}));
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "Zt4Home");
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "(absent)");
  EXPECT_FALSE(FoldersKeyExists());
}

TEST_F(InstallCommandTest, OnlyAMissingEntityAssemblyFailsItsTarget) {
  Prepare();
  RemoveAssembly("netf40_32", "Ovk.Data.Zt4.Entity");

  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(failed_, 2);
  const std::vector<std::string> firstThree(kAssemblies.begin(), kAssemblies.end() - 1);
  EXPECT_EQ(InstalledPaths(), PathsOf({"netf20_32"}, kAssemblies, PathsOf({"netf40_32"}, firstThree)));
  // The 4.0 target did install three assemblies from the copy.
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "Zt4Home");
  EXPECT_TRUE(FoldersKeyExists());

  // The other three may be missing: no failure, the entity assembly alone goes in.
  Prepare();
  for (const std::string& name : firstThree) RemoveAssembly("netf20_32", name);
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(failed_, 0);
  EXPECT_EQ(InstalledPaths(), PathsOf({"netf20_32"}, {"Ovk.Data.Zt4.Entity"}, PathsOf({"netf40_32"})));
  EXPECT_FALSE(FoldersKeyExists());

  // No bin folder at all: both targets fail, nothing is recorded, the key stays.
  Prepare();
  std::filesystem::remove_all(root_ + "/P/bin");
  EXPECT_EQ(Install(), 1);
  EXPECT_EQ(failed_, 3);
  EXPECT_TRUE(InstalledPaths().empty());
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "(absent)");
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "(absent)");
  EXPECT_TRUE(FoldersKeyExists());
}

TEST_F(InstallCommandTest, AnOlderCachedSecondAssemblyIsLeftInPlaceForEveryTarget) {
  AddBothFrameworks();
  const std::vector<std::string> withoutSecond{"Ovk.Data.Zt4", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity"};

  fake_fusion::State state;
  state.entries = {CachedEntry("Ovk.Data.Quillmor", "9.0.0.1")};
  WriteState(state);
  WriteBothTargets();
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(failed_, 0);
  EXPECT_EQ(InstalledPaths(), PathsOf({"netf20_32", "netf40_32"}, withoutSecond));

  state.entries = {CachedEntry("Ovk.Data.Quillmor", "9.0.0.2")};
  WriteState(state);
  WriteBothTargets();
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(InstalledPaths(), PathsOf({"netf20_32", "netf40_32"}));

  // The question is asked again for the 4.0 target, and so sees what the 2.0 target just
  // installed: a file of an older version keeps the 4.0 target's copy out.
  WriteState({});
  for (const char* folder : {"netf20_32", "netf40_32"}) WriteAssemblies(folder, "9.0.0.1");
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(InstalledPaths(), PathsOf({"netf20_32"}, kAssemblies, PathsOf({"netf40_32"}, withoutSecond)));
  int asked = 0;
  for (const auto& call : ReadState().CallsTo("CreateAssemblyNameObject")) asked += call.Arg("name") == "Ovk.Data.Quillmor";
  EXPECT_EQ(asked, 2);
}

TEST_F(InstallCommandTest, ATargetWhoseEveryInstallFailedIsNotRecordedForTheCopy) {
  for (const bool firstFails : {false, true}) {
    SCOPED_TRACE(firstFails ? "2.0 installs fail" : "4.0 installs fail");
    Prepare();
    WriteAssemblies("netf20_32", "10.1.6.2", firstFails ? "not an assembly" : "assembly");
    WriteAssemblies("netf40_32", "10.1.6.4", firstFails ? "assembly" : "not an assembly");

    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(failed_, firstFails ? 1 : 2);
    // Every file was offered to the cache; only the good target's four are in it.
    EXPECT_EQ(InstalledPaths().size(), 8u);
    EXPECT_EQ(ReadState().entries.size(), 4u);
    EXPECT_EQ(CopyValue("10.1.6.DEF.2"), firstFails ? "(absent)" : "Zt4Home");
    EXPECT_EQ(CopyValue("10.1.6.DEF.4"), firstFails ? "Zt4Home" : "(absent)");
    EXPECT_TRUE(FoldersKeyExists());
  }
}

TEST_F(InstallCommandTest, CopyRecordNeedsAnOwningCopyWithAShortEnoughName) {
  AddBothFrameworks();
  WriteBothTargets();
  // A copy elsewhere does not own the directory.
  std::filesystem::create_directories(root_ + "/Other");
  RegisterCopy("Zt4Other", Backslashed(root_ + "/Other"));
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(InstalledPaths().size(), 8u);
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "(absent)");
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "(absent)");
  EXPECT_FALSE(FoldersKeyExists());

  // 64 characters and the terminator do not fit the record's 64 bytes; 63 do.
  const std::string longName(64, 'n');
  RegisterCopy(longName, productDir_);
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "(absent)");
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "(absent)");

  platform::standin::ResetRegistry();
  AddBothFrameworks();
  const std::string fittingName(63, 'n');
  RegisterCopy(fittingName, productDir_);
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), fittingName);
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), fittingName);
}

TEST_F(InstallCommandTest, EarlyEndsChangeNothing) {
  RegisterCopy("Zt4Home", productDir_);
  WriteBothTargets();
  std::string before = platform::standin::ExportRegistry();
  const auto expectEarlyEnd = [&](const char* directory, int32_t expected) {
    EXPECT_EQ(Install(directory), expected);
    EXPECT_EQ(failed_, 0);
    EXPECT_EQ(platform::standin::ExportRegistry(), before);
    EXPECT_TRUE(ReadState().calls.empty());
  };

  // No framework: nothing to load fusion.dll from, and the registration stays.
  expectEarlyEnd(productDir_.c_str(), 0);

  AddBothFrameworks();
  before = platform::standin::ExportRegistry();
  expectEarlyEnd("", 3);
  expectEarlyEnd(nullptr, 3);

  // fusion.dll missing from the newest framework's folder, or lacking an entry point.
  for (const char* module : {"", ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_CACHE}) {
    SCOPED_TRACE(module);
    std::filesystem::remove(windowsDir_ + "/Microsoft.NET/Framework/v4.0.30319/fusion.dll");
    AddFramework("v4.0", "30319", module);
    expectEarlyEnd(productDir_.c_str(), 4);
  }
}

}  // namespace
