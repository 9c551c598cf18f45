// The assembly cache client against the fake fusion.dll: which module LoadFusion takes and its
// codes, and what the cache operations answer when fusion.dll fails them or hands out nothing.
#include "gac/assembly_cache_client.h"
#include "tool_test.h"

namespace {

TEST_F(ToolTest, LoadFusionTakesTheNewestOrTaggedFrameworksModuleAndNeedsAllFourExports) {
  EXPECT_EQ(AssemblyCacheClient().LoadFusion(nullptr), 3);
  // By text v4.0 is newer than v10.0 and v2.0, whose modules would fail.
  AddFramework("v2.0");
  UseFusion("v2.0", ZT4GAC_NOT_A_MODULE);
  AddFramework("v10.0");
  UseFusion("v10.0", ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_CACHE);
  AddFramework("v4.0");
  // The full fake stays loaded, and the loader then knows it by this path too: its rows come last.
  const struct { const char* module; const char* tag; int code; } rows[] = {
      {nullptr, nullptr, 8}, {ZT4GAC_NOT_A_MODULE, nullptr, 7},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_CACHE, nullptr, 9},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_NAME_OBJECT, nullptr, 10},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_ENUM, nullptr, 11},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_INSTALL_REFERENCE_ENUM, nullptr, 12},
      {ZT4GAC_FAKE_FUSION, nullptr, 0}, {ZT4GAC_FAKE_FUSION, "V2.0", 7}, {ZT4GAC_FAKE_FUSION, "v3.5", 4}};
  for (const auto& row : rows) {
    UseFusion("v4.0", row.module);
    EXPECT_EQ(AssemblyCacheClient().LoadFusion(row.tag), row.code) << (row.module ? row.module : "no fusion.dll");
  }
}

// One cache operation of a client whose LoadFusion took the full fake: 'i' InstallAssemblyFile
// of a file holding `argument` (null: no file), 'u' UninstallAssemblies, 'o' IsOlderVersionCached.
struct OperationRow {
  char operation;
  std::string cache;  // a listing, as FakeFusionListing writes it
  std::vector<FusionScript> scripts;
  const char* argument;
  int result;
  std::string after;  // the listing afterwards; not checked for 'o'
};

class CacheOperationTest : public ToolTest, public ::testing::WithParamInterface<OperationRow> {};

TEST_P(CacheOperationTest, AnswersAndCacheAfterwards) {
  const OperationRow& row = GetParam();
  AddFramework("v4.0");
  AssemblyCacheClient client;
  ASSERT_EQ(client.LoadFusion(nullptr), 0);
  CacheEntries(row.cache);
  for (const FusionScript& s : row.scripts) FakeFusionScript(s.method, s.nth, s.result, s.value);
  const std::string file = WriteFile("Ovk.Data.Zt4.dll", row.argument);
  EXPECT_EQ(row.operation == 'i'   ? client.InstallAssemblyFile(file.c_str())
            : row.operation == 'u' ? client.UninstallAssemblies(row.argument, nullptr)
                                   : client.IsOlderVersionCached(row.argument),
            row.result);
  EXPECT_EQ(row.operation == 'o' ? row.after : FakeFusionListing(), row.after);
}

const char *const kZ = "Ovk.Data.Zt4", *const kQ = "Ovk.Data.Quillmor";
const std::string kTwo = "Ovk.Data.Zt4 9.0.0.1\nOvk.Data.Zt4 9.0.0.2\nOvk.Data.Zt4.ASP 9.0.0.2\n";
const std::string kFirstGone = kTwo.substr(21), kBothGone = kTwo.substr(42), kSecondGone = kTwo.substr(0, 21) + kBothGone;
const std::string kNew = "Ovk.Data.Quillmor 9.0.0.2\n", kOld = "Ovk.Data.Quillmor 9.0.0.1\n";

INSTANTIATE_TEST_SUITE_P(Rows, CacheOperationTest, ::testing::ValuesIn(std::vector<OperationRow>{
  // Any success code counts as installed; a cache handed out with a failure is still released.
  {'i', "", {{"InstallAssembly", 1, S_FALSE, 0}}, "9.0.0.2", 0, "Ovk.Data.Zt4 9.0.0.2\n"},
  {'i', "", {{"CreateAssemblyCache", 1, S_OK, 0}}, "9.0.0.2", 1, ""},
  {'i', "", {{"CreateAssemblyCache", 1, E_FAIL, 1}}, "9.0.0.2", 1, ""},
  // Every matching entry goes by its own display name; ",File Version=" narrows nothing here.
  {'u', kTwo, {}, "Ovk.Data.Zt4,File Version=9", 0, kBothGone},
  {'u', kTwo, {}, "", 2, kTwo},
  {'u', kTwo, {{"CreateAssemblyCache", 1, E_FAIL, 0}}, kZ, 2, kTwo},
  // Without a name object the enumeration would list, and remove, the whole cache.
  {'u', kTwo, {{"CreateAssemblyNameObject", 1, S_OK, 0}}, kZ, 2, kTwo},
  {'u', kTwo, {{"CreateAssemblyEnum", 1, S_OK, 0}}, kZ, 0, kTwo},
  {'u', kTwo, {{"GetNextAssembly", 1, E_FAIL, 0}}, kZ, 2, kTwo},
  {'u', kTwo, {{"GetNextAssembly", 2, S_OK, 0}}, kZ, 0, kFirstGone},
  // An entry that stays fails the call, even when a later one goes.
  {'u', kTwo, {{"UninstallAssembly", 1, S_OK, IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE}}, kZ, 2, kBothGone},
  {'u', kTwo, {{"CreateAssemblyCache", 2, S_OK, 0}}, kZ, 2, kSecondGone},
  // A display name that cannot be read, or claims more than 32767 units, ends the walk.
  {'u', kTwo, {{"GetDisplayName", 2, E_OUTOFMEMORY, 0}}, kZ, 2, kTwo},
  {'u', kTwo, {{"GetDisplayName", 1, E_NOT_SUFFICIENT_BUFFER, 32768}}, kZ, 2, kTwo},
  {'u', kTwo, {{"GetDisplayName", 1, E_NOT_SUFFICIENT_BUFFER, 32767}}, kZ, 0, kBothGone},
  {'u', kTwo, {{"GetDisplayName", 1, S_OK, 0}}, kZ, 0, kSecondGone},
  // Older: any named entry below 9.0.0.2, read unsigned; every failure answers no.
  {'o', "", {}, kQ, 0, ""},
  {'o', kOld, {}, kQ, 1, ""},
  {'o', kNew, {}, kQ, 0, ""},
  {'o', "Ovk.Data.Quillmor 40000.0.0.0", {}, kQ, 0, ""},
  {'o', kNew + kOld, {}, kQ, 1, ""},
  {'o', kOld + kNew, {{"GetName", 1, S_OK, 0}}, kQ, 0, ""},
  {'o', kNew + kOld, {{"GetName", 1, E_FAIL, 0}}, kQ, 0, ""},
  {'o', "Ovk.Data.Other 1.0.0.0\n" + kNew, {{"CreateAssemblyNameObject", 1, S_OK, 0}}, kQ, 0, ""},
  {'o', kOld, {{"GetNextAssembly", 1, S_OK, 0}}, kQ, 0, ""},
}));

}  // namespace
