#include "tool_test.h"

#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void ToolTest::SetUp() {
  root_ = fs::temp_directory_path().string() + "/zt4gac-test-XXXXXX";
  ASSERT_NE(mkdtemp(root_.data()), nullptr);
  setenv("ZT4GAC_WINDOWS_DIR", (root_ + "/Windows").c_str(), 1);
  platform::standin::ResetRegistry();
  FakeFusionReset();
}

void ToolTest::TearDown() {
  EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0) << "registry keys left open";
  EXPECT_EQ(platform::standin::LoadedModuleCount(), 0) << "modules left loaded";
  EXPECT_EQ(FakeFusionLiveObjects(), 0) << "interface objects left unreleased";
  EXPECT_EQ(FakeFusionMisuse(), 0) << "fusion.dll called in a shape its documentation does not allow";
  fs::remove_all(root_);
  unsetenv("ZT4GAC_WINDOWS_DIR");
}

void ToolTest::AddFramework(const std::string& version, const std::string& build, bool withFusion) {
  platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, kPolicyKey + "\\" + version, build, REG_SZ, build + '\0');
  UseFusion(version, withFusion ? ZT4GAC_FAKE_FUSION : nullptr, build);
}

void ToolTest::UseFusion(const std::string& version, const char* module, const std::string& build) {
  std::string folder = version;  // the inventory lowers the version, not the build
  for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  folder = root_ + "/Windows/Microsoft.NET/Framework/" + folder + "." + build;
  fs::create_directories(folder);
  fs::remove(folder + "/fusion.dll");
  // A link, not a copy: the tool's load then finds the module this binary links, state and all.
  if (module != nullptr) fs::create_symlink(module, folder + "/fusion.dll");
}

std::string ToolTest::WriteFile(const std::string& relativePath, const std::string& content) {
  fs::create_directories(fs::path(root_ + "/" + relativePath).parent_path());
  std::ofstream(root_ + "/" + relativePath, std::ios::binary) << content;
  return root_ + "/" + relativePath;
}

std::string ToolTest::MakeProduct(const std::string& relativePath, const std::string& version) {
  for (const char* folder : {"/bin/netf20_32/", "/bin/netf40_32/"})
    for (const char* name : {"Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity"})
      WriteFile(relativePath + folder + name + ".dll", version);
  return root_ + "/" + relativePath;
}

void ToolTest::RegisterCopy(const std::string& name, const std::string& path) {
  platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, kCopiesKey + "\\" + name, "Zt4 Path Name", REG_SZ, path + '\0');
}

void ToolTest::CacheEntries(const std::string& listing) {
  std::istringstream lines(listing);
  for (std::string name, version; lines >> name >> version;) FakeFusionAddEntry(name.c_str(), version.c_str());
}

std::string ToolTest::Value(const std::string& keyPath, const std::string& valueName) {
  std::string text;
  return platform::standin::ReadRegistryString(HKEY_LOCAL_MACHINE, keyPath, valueName, &text) ? text : "<absent>";
}
