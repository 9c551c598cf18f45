// The assembly cache client against the fake fusion.dll: which module LoadFusion takes and its
// codes, and what the cache operations answer when fusion.dll fails them or hands out nothing.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "gac/assembly_cache_client.h"
#include "tool_test.h"

namespace {

TEST_F(ToolTest, LoadFusionTakesTheNewestOrTaggedFrameworksModuleAndNeedsAllFourExports) {
  EXPECT_EQ(AssemblyCacheClient().LoadFusion(nullptr), 3);
  // By text v4.0 is newer than v10.0 and v2.0, whose modules would fail.
  AddFramework("v2.0", ZT4GAC_NOT_A_MODULE);
  AddFramework("v10.0", ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_CACHE);
  AddFramework("v4.0", nullptr);
  // The full fake stays loaded, and the loader then knows it by this path too: its rows come last.
  const struct { const char* module; const char* tag; int code; } rows[] = {
      {nullptr, nullptr, 8}, {ZT4GAC_NOT_A_MODULE, nullptr, 7},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_CACHE, nullptr, 9},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_NAME_OBJECT, nullptr, 10},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_ASSEMBLY_ENUM, nullptr, 11},
      {ZT4GAC_FAKE_FUSION_WITHOUT_CREATE_INSTALL_REFERENCE_ENUM, nullptr, 12},
      {kFake, nullptr, 0}, {kFake, "V2.0", 7}, {kFake, "v3.5", 4}};
  for (const auto& row : rows) {
    UseFusion("v4.0", row.module);
    EXPECT_EQ(AssemblyCacheClient().LoadFusion(row.tag), row.code) << (row.module ? row.module : "no fusion.dll");
    ExpectNothingLeft(row.module ? row.module : "no fusion.dll");
  }
}

// fusion.dll and the DLLs it needs come from its framework's folder and System32 only, where the
// system can restrict the search; elsewhere its imports come from its own folder first. The
// current directory is out either way, and the folder is searched as long as the module is loaded.
TEST_F(ToolTest, LoadFusionSearchesItsFrameworksFolderAndSystem32Only) {
  AddFramework("v4.0", kFake);
  const std::string folder = Root() + "/Windows/Microsoft.NET/Framework/v4.0.30319";
  const struct { bool callsPresent; DWORD defaults, load; std::vector<std::string> added; } rows[] = {
      {true, LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS,
       LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32, {folder}},
      {false, 0, LOAD_WITH_ALTERED_SEARCH_PATH, {}}};
  for (const auto& row : rows) {
    platform::standin::ResetDllSearch(row.callsPresent);
    std::optional<AssemblyCacheClient> client(std::in_place);
    ASSERT_EQ(client->LoadFusion(nullptr), 0) << row.callsPresent;
    auto search = platform::standin::CurrentDllSearch();
    for (std::string& added : search.addedFolders) std::replace(added.begin(), added.end(), '\\', '/');
    EXPECT_TRUE(search.currentDirectoryOut);
    EXPECT_EQ(search.defaultFolders, row.defaults);
    EXPECT_EQ(search.lastLoadFlags, row.load);
    EXPECT_EQ(search.addedFolders, row.added);
    client.reset();
    EXPECT_TRUE(platform::standin::CurrentDllSearch().addedFolders.empty());
  }
}

// Caches as "name file" pairs in cache order, as FakeFusionAddEntry takes them.
const char kCached[] = "Ovk.Data.Zt4 9.0.0.1 Ovk.Data.Zt4 9.0.0.2 Ovk.Data.Zt4.ASP 9.0.0.2";
const char kOld[] = "Ovk.Data.Quillmor 9.0.0.1 Ovk.Data.Quillmor 9.0.0.0";
const char kNewOld[] = "Ovk.Data.Quillmor 11.0.0.0 Ovk.Data.Quillmor 9.0.0.1";
const char kNotOlder[] = "Ovk.Data.Quillmor 9.0.0.2 Ovk.Data.Quillmor 9.0.1.0 Ovk.Data.Quillmor 9.0.0.40000 "
                         "Ovk.Data.Quillmor 40000.0.0.0";
// The uninstall rows' caches afterwards: which of the two versions of "Ovk.Data.Zt4" stayed.
const char kOnlyAsp[] = "Ovk.Data.Zt4.ASP 9.0.0.2";
const char k901Stays[] = "Ovk.Data.Zt4 9.0.0.1 Ovk.Data.Zt4.ASP 9.0.0.2";
const char k902Stays[] = "Ovk.Data.Zt4 9.0.0.2 Ovk.Data.Zt4.ASP 9.0.0.2";

// One cache operation of a client whose LoadFusion took the full fake, over the cache and the
// scripted outcomes: its answer, and the cache afterwards.
struct CacheRow {
  const char* name;
  const char* cache = kCached;
  std::vector<FusionScript> scripts = {};
  int result = 0;
  const char* after = nullptr;  // null: as it was
};
void PrintTo(const CacheRow& row, std::ostream* out) { *out << row.name; }  // not its padding

class CacheOperationTest : public ToolTest, public ::testing::WithParamInterface<CacheRow> {
 protected:
  template <typename Operation> void Check(Operation operation) {
    AddFramework("v4.0", kFake);
    AssemblyCacheClient client;
    ASSERT_EQ(client.LoadFusion(nullptr), 0);
    CacheEntries(GetParam().cache);
    Script(GetParam().scripts);
    EXPECT_EQ(operation(client), GetParam().result);
    std::string listing = FakeFusionListing();  // as "name file" pairs on one line
    std::replace(listing.begin(), listing.end(), '\n', ' ');
    const char* after = GetParam().after != nullptr ? GetParam().after : GetParam().cache;
    EXPECT_EQ(listing, after + std::string(*after ? " " : ""));
  }
};

// What the commands ask of the cache: install a provider's file (it holds 9.0.0.2); uninstall by the
// name "-u" gives; whether an older second provider is cached.
class InstallFileTest : public CacheOperationTest {};
class UninstallNameTest : public CacheOperationTest {};
class OlderVersionTest : public CacheOperationTest {};

TEST_P(InstallFileTest, AnswerAndCacheAfterwards) {
  const std::string file = WriteFile("Ovk.Data.Zt4.dll", "9.0.0.2");
  Check([&](AssemblyCacheClient& client) { return client.InstallAssemblyFile(file.c_str()); });
}

TEST_P(UninstallNameTest, AnswerAndCacheAfterwards) {
  Check([](AssemblyCacheClient& client) { return client.UninstallAssemblies("Ovk.Data.Zt4,File Version=9", nullptr); });
}

TEST_P(OlderVersionTest, AnswerAndCacheAfterwards) {
  Check([](AssemblyCacheClient& client) { return client.IsOlderVersionCached("Ovk.Data.Quillmor"); });
}

constexpr HRESULT kShort = E_NOT_SUFFICIENT_BUFFER;

INSTANTIATE_TEST_SUITE_P(Rows, InstallFileTest, ::testing::ValuesIn(std::vector<CacheRow>{
  // A success without a cache object is no cache to call.
  {.name = "no cache object", .cache = "", .scripts = {{"CreateAssemblyCache", "", S_OK, 0}}, .result = 1},
  // A refresh replaces the files of the same version, unless the cached ones are a later build.
  {.name = "same build refreshed", .cache = "Ovk.Data.Zt4 9.0.0.2+0", .after = "Ovk.Data.Zt4 9.0.0.2"},
  {.name = "later build kept", .cache = "Ovk.Data.Zt4 9.0.0.2+9"},
}), RowName());

INSTANTIATE_TEST_SUITE_P(Rows, UninstallNameTest, ::testing::ValuesIn(std::vector<CacheRow>{
  {.name = "cache refused", .scripts = {{"CreateAssemblyCache", "", E_FAIL}}, .result = 2},
  // Without a name object the enumeration would list, and remove, the whole cache.
  {.name = "no name object", .scripts = {{"CreateAssemblyNameObject", "", S_OK, 0}}, .result = 2},
  {.name = "enumeration fails", .scripts = {{"GetNextAssembly", "9.0.0.1", E_FAIL}}, .result = 2},
  // Every matching entry goes by its own display name (",File Version=" narrows nothing here), but
  // only one still in use fails the call, even when a later one goes. The other dispositions
  // answer success, although an entry pending deletion (or held by another installation) stays.
  {.name = "still in use", .scripts = {{"UninstallAssembly", "9.0.0.1", S_OK, 2}}, .result = 2, .after = k901Stays},
  {.name = "delete pending", .scripts = {{"UninstallAssembly", "9.0.0.2", S_OK, 4}}, .after = k902Stays},
  // The first cache is the probe; the second would remove the first entry.
  {.name = "second cache refused", .scripts = {{"CreateAssemblyCache", "", S_OK, 0, 2}}, .result = 2,
   .after = k901Stays},
  // A display name that cannot be read, or claims more than 32767 units, ends the walk; an
  // entry's second GetDisplayName reads what its first measured.
  {.name = "display name unreadable", .scripts = {{"GetDisplayName", "9.0.0.1", E_OUTOFMEMORY, 0, 2}}, .result = 2},
  {.name = "display name longest", .scripts = {{"GetDisplayName", "9.0.0.1", kShort, 32767}}, .after = kOnlyAsp},
  {.name = "display name not quite read", .scripts = {{"GetDisplayName", "9.0.0.1", S_FALSE, 0, 2}},
   .after = k902Stays},
}), RowName());

// Older: any named entry below 9.0.0.2, its components read unsigned; asking changes nothing, and
// every failure answers no.
INSTANTIATE_TEST_SUITE_P(Rows, OlderVersionTest, ::testing::ValuesIn(std::vector<CacheRow>{
  {.name = "none older", .cache = kNotOlder},
  {.name = "nameless or unreadable", .cache = kOld,
   .scripts = {{"GetName", "9.0.0.1", S_OK, 0}, {"GetVersion", "9.0.0.0", E_FAIL}}},
  // An entry whose version cannot be read is passed over (one whose name cannot be read is nameless
  // to the walk); an older one found ends it.
  {.name = "unreadable version first", .cache = kNewOld, .scripts = {{"GetVersion", "11.", E_FAIL}}, .result = 1},
  {.name = "no name object", .cache = "Ovk.Data.Other 1.0.0.0", .scripts = {{"CreateAssemblyNameObject", "", S_OK, 0}}},
  {.name = "no entry handed out", .cache = kOld, .scripts = {{"GetNextAssembly", "9.0.0.1", S_OK}}},
  {.name = "cache refused", .cache = kOld, .scripts = {{"CreateAssemblyCache", "", E_FAIL}}},
}), RowName());

}  // namespace
