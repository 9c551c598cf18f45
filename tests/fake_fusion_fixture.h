// A temporary Windows directory with frameworks recorded in the stand-in registry and the
// stand-in fusion.dll copied into their folders, and the stand-in's state file beside it.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fusion_stub/fake_fusion_state.h"
#include "gac/assembly_cache_client.h"
#include "platform/posix/registry_store.h"

class FakeFusionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zt4gac-fusion-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    windowsDir_ = root_ + "/Windows";
    std::filesystem::create_directories(windowsDir_);
    statePath_ = root_ + "/fusion-state.txt";
    setenv("ZT4GAC_WINDOWS_DIR", windowsDir_.c_str(), 1);
    setenv("ZT4GAC_FAKE_FUSION_STATE", statePath_.c_str(), 1);
    platform::standin::ResetRegistry();
  }

  void TearDown() override {
    platform::standin::ResetRegistry();
    unsetenv("ZT4GAC_FAKE_FUSION_STATE");
    unsetenv("ZT4GAC_WINDOWS_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  // Records framework `version` (such as "v4.0") with the policy value `build` and creates its
  // folder; copies `module` there as fusion.dll unless it is empty. Returns fusion.dll's path.
  std::string AddFramework(const std::string& version, const std::string& build, const std::string& module) {
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\" + version,
                                         build, build + "-" + build);
    std::string folder = version + "." + build;
    for (char& c : folder) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const std::string directory = windowsDir_ + "/Microsoft.NET/Framework/" + folder;
    std::filesystem::create_directories(directory);
    const std::string path = directory + "/fusion.dll";
    if (!module.empty()) std::filesystem::copy_file(module, path, std::filesystem::copy_options::overwrite_existing);
    return path;
  }

  // Whether the process has the module at `path` loaded (asks without loading it).
  static bool IsLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
  }

  std::string WriteFile(const std::string& relativePath, const std::string& content) {
    const std::string path = root_ + "/" + relativePath;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  void WriteState(const fake_fusion::State& state) { ASSERT_TRUE(state.Save(statePath_)); }
  fake_fusion::State ReadState() const { return fake_fusion::State::Load(statePath_); }

  // Adds a one-shot result for the next call of `call`.
  void ScriptNext(const std::string& call, HRESULT result, bool handsOutObject = false) {
    fake_fusion::State state = ReadState();
    state.next.push_back({call, result, handsOutObject});
    WriteState(state);
  }

  void ScriptUninstall(const std::string& displayName, ULONG disposition, HRESULT result) {
    fake_fusion::State state = ReadState();
    state.uninstallScripts.push_back({displayName, disposition, result});
    WriteState(state);
  }

  std::string root_;
  std::string windowsDir_;
  std::string statePath_;
};

// A client whose LoadFusion has loaded the full stand-in; each test scripts the state first.
class LoadedClientTest : public FakeFusionTest {
 protected:
  void SetUp() override {
    FakeFusionTest::SetUp();
    modulePath_ = AddFramework("v4.0", "30319", ZT4GAC_FAKE_FUSION);
    client_ = std::make_unique<AssemblyCacheClient>();
    ASSERT_EQ(client_->LoadFusion(nullptr), 0);
  }

  void TearDown() override {
    client_.reset();
    FakeFusionTest::TearDown();
  }

  // Replaces the cache with `entries` and clears the call log and every script.
  void SetEntries(const std::vector<fake_fusion::Entry>& entries) {
    fake_fusion::State state;
    state.entries = entries;
    WriteState(state);
  }

  std::string modulePath_;
  std::unique_ptr<AssemblyCacheClient> client_;
};

inline fake_fusion::Entry CachedEntry(const std::string& name, const std::string& version) {
  fake_fusion::Entry entry;
  entry.name = name;
  entry.version = fake_fusion::ParseVersion(version);
  entry.displayName = name + ", Version=" + version + ", PublicKeyToken=0123456789abcdef";
  return entry;
}
