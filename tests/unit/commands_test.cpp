// The two commands in-process over the fake fusion.dll: result codes, the failed-target mask,
// how much the cache holds afterwards and which registry values are left. What a user sees
// after the plain runs is the Wine suite's to prove.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/provider_installer.h"
#include "tool_test.h"

namespace {

using platform::standin::SetRegistryValue;

struct CommandRow {
  char command;            // 'i' Install, 'I' Install from the other table, 'u' Uninstall
  const char* frameworks;  // such as "v2.0 v4.0"; "!v4.0" has no fusion.dll
  const char* cache;       // a listing, as FakeFusionListing writes it
  std::vector<FusionScript> scripts;
  const char* removed;     // below the product directory, or null
  const char* argument;    // Install: after the product directory (null: an empty directory); Uninstall: the list
  uint32_t mask;
  int result, failed, cached;
  const char* registry;  // the copy values of the 2.0 and 4.0 targets, then the AssemblyFolders value
};

class CommandTest : public ToolTest, public ::testing::WithParamInterface<CommandRow> {};

TEST_P(CommandTest, ResultMaskCacheAndRegistry) {
  const CommandRow& row = GetParam();
  std::istringstream frameworks(row.frameworks);
  for (std::string v; frameworks >> v;) AddFramework(v.substr(v[0] == '!'), "30319", v[0] != '!');
  CacheEntries(row.cache);
  for (const FusionScript& s : row.scripts) FakeFusionScript(s.method, s.nth, s.result, s.value);
  const std::string product = MakeProduct("P");
  if (row.removed != nullptr) std::filesystem::remove_all(product + "/" + row.removed);
  RegisterCopy("Zt4Home", product);
  for (const char* copyValue : {"10.1.6.DEF.2", "10.1.6.DEF.4"}) {
    if (row.command == 'u') SetRegistryValue(HKEY_LOCAL_MACHINE, kCopiesKey, copyValue, REG_SZ, "Zt4Home");
  }
  SetRegistryValue(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", REG_SZ, "C:\\Zt4");

  int32_t failed = row.command == 'u' ? 0 : -1;
  const std::string directory = row.argument == nullptr ? "" : product + row.argument;
  EXPECT_EQ(row.command == 'u' ? ProviderInstaller().Uninstall(row.argument)
                               : ProviderInstaller().Install(directory.c_str(), &failed, row.mask, row.command == 'i'),
            row.result);
  EXPECT_EQ(failed, row.failed);
  const std::string listing = FakeFusionListing();
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), row.cached) << listing;
  EXPECT_EQ(Value(kCopiesKey, "10.1.6.DEF.2") + " " + Value(kCopiesKey, "10.1.6.DEF.4") + " " +
                Value(kFoldersKey, "Ovk.Data.Zt4"),
            row.registry);
}

constexpr HRESULT kDenied = static_cast<HRESULT>(0x80070005u);
const std::vector<FusionScript> kRefuse40{{"InstallAssembly", 5, kDenied, 0}, {"InstallAssembly", 6, kDenied, 0},
                                          {"InstallAssembly", 7, kDenied, 0}, {"InstallAssembly", 8, kDenied, 0}};
const char kAll[] = "Ovk.Data.Zt4 9.0.0.2 Ovk.Data.Quillmor 9.0.0.2 Ovk.Data.Zt4.ASP 9.0.0.2 Ovk.Data.Zt4.Entity 9.0.0.2";
const char kNewerFirst[] = "Ovk.Data.Quillmor 11.0.0.0 Ovk.Data.Quillmor 8.1.0.0";
const char kOlderFirst[] = "Ovk.Data.Quillmor 8.1.0.0 Ovk.Data.Quillmor 11.0.0.0";
const char kBoth[] = "Zt4Home Zt4Home <absent>", kNone[] = "<absent> <absent> <absent>";
const char k2[] = "Zt4Home <absent> <absent>", k4[] = "<absent> Zt4Home <absent>";
const char kKept[] = "<absent> <absent> C:\\Zt4", kAllKept[] = "Zt4Home Zt4Home C:\\Zt4";

INSTANTIATE_TEST_SUITE_P(Rows, CommandTest, ::testing::ValuesIn(std::vector<CommandRow>{
  {'i', "v2.0 v4.0", "", {}, nullptr, "", 3, 0, 0, 4, kBoth},
  {'i', "v2.0 v4.0", "", {}, nullptr, "\\", 3, 0, 0, 4, kBoth},
  {'i', "v2.0", "", {}, nullptr, "", 3, 0, 0, 4, k2},
  {'i', "v2.0 v4.0", "", {}, nullptr, "", 0, 0, 0, 0, kNone},
  {'i', "v2.0 v4.0", "", {}, nullptr, "", 1, 0, 0, 4, k2},
  {'I', "v2.0 v4.0", "", {}, nullptr, "", 3, 1, 3, 0, kKept},
  // Only the Entity Framework provider must be there; only a target that installed something is recorded.
  {'i', "v2.0 v4.0", "", {}, "bin/netf20_32/Ovk.Data.Zt4.dll", "", 3, 0, 0, 4, kBoth},
  {'i', "v2.0 v4.0", "", {}, "bin/netf40_32/Ovk.Data.Zt4.Entity.dll", "", 3, 1, 2, 4, "Zt4Home Zt4Home C:\\Zt4"},
  {'i', "v2.0 v4.0", "", {}, "bin", "", 3, 1, 3, 0, kKept},
  {'i', "v2.0 v4.0", "", kRefuse40, nullptr, "", 3, 1, 2, 4, "Zt4Home <absent> C:\\Zt4"},
  // An older cached second provider, wherever it is enumerated, keeps the new one out (2 + 3).
  {'i', "v2.0 v4.0", kNewerFirst, {}, nullptr, "", 3, 0, 0, 5, kBoth},
  {'i', "v2.0 v4.0", kOlderFirst, {}, nullptr, "", 3, 0, 0, 5, kBoth},
  {'i', "", "", {}, nullptr, "", 3, 0, 0, 0, kKept},
  {'i', "v2.0 !v4.0", "", {}, nullptr, "", 3, 4, 0, 0, kKept},
  {'i', "v2.0 v4.0", "", {}, nullptr, nullptr, 3, 3, 0, 0, kKept},
  // Each non-empty item removes by version and withdraws the copy values its provider version selects.
  {'u', "v2.0 v4.0", kAll, {}, nullptr, "9", 0, 0, 0, 0, kBoth},
  {'u', "v2.0 v4.0", kAll, {}, nullptr, nullptr, 0, 0, 0, 0, kNone},
  {'u', "v2.0 v4.0", kAll, {}, nullptr, "10.1.6.2;10.1.6.4", 0, 0, 0, 0, kNone},
  {'u', "v2.0 v4.0", kAll, {}, nullptr, "10.1.6.4;", 0, 0, 0, 0, k2},
  {'u', "v2.0 v4.0", kAll, {}, nullptr, ";10.1.6.2", 0, 0, 0, 0, k4},
  {'u', "v2.0 v4.0", kAll, {}, nullptr, "10.1.6.2;;10.1.6.4", 0, 0, 0, 0, kNone},
  {'u', "v2.0 v4.0", kAll, {}, nullptr, ";", 0, 0, 0, 4, kAllKept},
  // The other product's older provider stays, whatever the order; the all-versions road takes it.
  {'u', "v2.0 v4.0", kNewerFirst, {}, nullptr, "9", 0, 0, 0, 2, kBoth},
  {'u', "v2.0 v4.0", kNewerFirst, {}, nullptr, nullptr, 0, 0, 0, 0, kNone},
  // Any failed removal fails the command, not only the last Entity one; the rest still runs.
  {'u', "v2.0 v4.0", kAll, {{"UninstallAssembly", 1, kDenied, 0}}, nullptr, "9", 0, 1, 0, 1, kBoth},
  {'u', "v2.0 v4.0", kAll, {{"UninstallAssembly", 4, kDenied, 0}}, nullptr, "a;b", 0, 1, 0, 0, kBoth},
  {'u', "", kAll, {}, nullptr, "9", 0, 0, 0, 4, kAllKept},
  {'u', "v2.0 !v4.0", kAll, {}, nullptr, "9", 0, 4, 0, 4, kAllKept},
}));

}  // namespace
