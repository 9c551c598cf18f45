// The fixture of every host unit test: an empty stand-in registry, a temporary Windows
// directory, the fake fusion.dll reset; after each test, nothing may be left open, loaded,
// alive or misused.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_fusion/fake_fusion.h"
#include "platform/posix/standin.h"

// The registry places the tool reads and writes.
inline const std::string kPolicyKey = "SOFTWARE\\Microsoft\\.NETFramework\\policy";
inline const std::string kCopiesKey = "SOFTWARE\\Ovk\\Zt4\\InstalledCopies";
inline const std::string kFoldersKey = "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4";

// One FakeFusionScript call: the `nth` call of `method` gives `result` and reports `value`.
struct FusionScript { const char* method; int nth; HRESULT result; DWORD value; };

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Records the framework `version` (such as "v4.0") with the policy value `build` and puts the
  // fake as fusion.dll into its folder, unless `withFusion` is false.
  void AddFramework(const std::string& version, const std::string& build = "30319", bool withFusion = true);
  // Makes the fusion.dll of that framework's folder a link to `module` (a path such as
  // ZT4GAC_NOT_A_MODULE), or removes it when `module` is null.
  void UseFusion(const std::string& version, const char* module, const std::string& build = "30319");

  // Writes `content` to `relativePath` below root_ (folders as needed); returns the full path.
  std::string WriteFile(const std::string& relativePath, const std::string& content);

  // A product directory below root_ holding the four assemblies in bin\netf20_32 and
  // bin\netf40_32, each file holding `version` (what the fake installs it as); returns its path.
  std::string MakeProduct(const std::string& relativePath, const std::string& version = "10.1.6.2");

  // Registers the installed copy `name` with "Zt4 Path Name" `path`.
  void RegisterCopy(const std::string& name, const std::string& path);

  // Caches the entries of `listing`, "name version" lines as FakeFusionListing writes them.
  static void CacheEntries(const std::string& listing);

  // A REG_SZ value's text, or "<absent>".
  static std::string Value(const std::string& keyPath, const std::string& valueName);

  std::string root_;  // a fresh temporary directory; the Windows directory is root_ + "/Windows"
};
