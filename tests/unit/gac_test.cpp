// The assembly cache client against the fake fusion.dll: which module LoadFusion takes and its
// codes, and what the cache operations answer when fusion.dll fails them or hands out nothing.
#include <algorithm>
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

// What the commands ask of the cache: install a provider's file; uninstall by the name "-u" gives.
int InstallFile(AssemblyCacheClient& client, const char* file) { return client.InstallAssemblyFile(file); }
int UninstallName(AssemblyCacheClient& client, const char*) {
  return client.UninstallAssemblies("Ovk.Data.Zt4,File Version=9", nullptr);
}

// Caches as "name file" pairs in cache order, as FakeFusionAddEntry takes them.
const char kCached[] = "Ovk.Data.Zt4 9.0.0.1 Ovk.Data.Zt4 9.0.0.2 Ovk.Data.Zt4.ASP 9.0.0.2";
const char kOld[] = "Ovk.Data.Quillmor 9.0.0.1", kNew[] = "Ovk.Data.Quillmor 9.0.0.2";

// One cache operation of a client whose LoadFusion took the full fake, over the cache and the
// scripted outcomes: its answer, and the cache afterwards.
struct ChangeRow {
  const char* name;
  int (*operation)(AssemblyCacheClient& client, const char* file) = UninstallName;  // the file holds 9.0.0.2
  const char* cache = kCached;
  std::vector<FusionScript> scripts = {};
  int result = 0;
  const char* after;
};
struct OlderRow {
  const char* name;
  std::string cache;
  std::vector<FusionScript> scripts;
  int older;  // the answer
};
// A row prints as its name: its bytes would include padding that nothing initialised.
void PrintTo(const ChangeRow& row, std::ostream* out) { *out << row.name; }
void PrintTo(const OlderRow& row, std::ostream* out) { *out << row.name; }

template <typename Row>
class CacheOperationTest : public ToolTest, public ::testing::WithParamInterface<Row> {
 protected:
  // Loads the fake, caches and scripts; then runs `operation` on the client.
  template <typename Operation>
  int Run(Operation operation) {
    AddFramework("v4.0", kFake);
    AssemblyCacheClient client;
    EXPECT_EQ(client.LoadFusion(nullptr), 0);
    CacheEntries(this->GetParam().cache);
    Script(this->GetParam().scripts);
    return operation(client);
  }
};
using ChangeTest = CacheOperationTest<ChangeRow>;
using OlderVersionTest = CacheOperationTest<OlderRow>;

// The cache as "name file" pairs on one line.
std::string Listing() {
  std::string listing = FakeFusionListing();
  std::replace(listing.begin(), listing.end(), '\n', ' ');
  return listing.empty() ? listing : listing.substr(0, listing.size() - 1);
}

TEST_P(ChangeTest, AnswerAndCacheAfterwards) {
  const std::string file = WriteFile("Ovk.Data.Zt4.dll", "9.0.0.2");
  EXPECT_EQ(Run([&](AssemblyCacheClient& c) { return GetParam().operation(c, file.c_str()); }), GetParam().result);
  EXPECT_EQ(Listing(), GetParam().after);
}

// Asking changes nothing.
TEST_P(OlderVersionTest, AnswerAndCacheUnchanged) {
  EXPECT_EQ(Run([](AssemblyCacheClient& c) { return c.IsOlderVersionCached("Ovk.Data.Quillmor"); }),
            GetParam().older);
  EXPECT_EQ(Listing(), GetParam().cache);
}

constexpr HRESULT kDenied = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT kBadImage = static_cast<HRESULT>(0x8007000Bu), kInvalidName = static_cast<HRESULT>(0x80131047u);
constexpr HRESULT kShort = E_NOT_SUFFICIENT_BUFFER;

// The uninstall rows' caches afterwards: which of the two versions of "Ovk.Data.Zt4" stayed.
const char kOnlyAsp[] = "Ovk.Data.Zt4.ASP 9.0.0.2";
const char k901Stays[] = "Ovk.Data.Zt4 9.0.0.1 Ovk.Data.Zt4.ASP 9.0.0.2";
const char k902Stays[] = "Ovk.Data.Zt4 9.0.0.2 Ovk.Data.Zt4.ASP 9.0.0.2";

INSTANTIATE_TEST_SUITE_P(Rows, ChangeTest, ::testing::ValuesIn(std::vector<ChangeRow>{
  {.name = "installed", .operation = InstallFile, .cache = "", .after = "Ovk.Data.Zt4 9.0.0.2"},
  // Any success code counts as installed; a cache handed out with a failure is still released.
  {.name = "already there", .operation = InstallFile, .cache = "",
   .scripts = {{"InstallAssembly", "Ovk.Data.Zt4.dll", S_FALSE}}, .after = "Ovk.Data.Zt4 9.0.0.2"},
  {.name = "install, no cache object", .operation = InstallFile, .cache = "",
   .scripts = {{"CreateAssemblyCache", "", S_OK, 0}}, .result = 1, .after = ""},
  {.name = "install, cache refused", .operation = InstallFile, .cache = "",
   .scripts = {{"CreateAssemblyCache", "", E_FAIL, 1}}, .result = 1, .after = ""},
  {.name = "not an assembly", .operation = InstallFile, .cache = "",
   .scripts = {{"InstallAssembly", "Ovk.Data.Zt4.dll", kBadImage}}, .result = 1, .after = ""},
  // A refresh replaces the files of the same version, unless the cached ones are a later build.
  {.name = "same build refreshed", .operation = InstallFile, .cache = "Ovk.Data.Zt4 9.0.0.2+0",
   .after = "Ovk.Data.Zt4 9.0.0.2"},
  {.name = "later build kept", .operation = InstallFile, .cache = "Ovk.Data.Zt4 9.0.0.2+9",
   .after = "Ovk.Data.Zt4 9.0.0.2+9"},
  // Every matching entry goes by its own display name; ",File Version=" narrows nothing here.
  {.name = "by version", .after = kOnlyAsp},
  {.name = "nothing cached", .cache = "", .after = ""},
  {.name = "cache refused", .scripts = {{"CreateAssemblyCache", "", E_FAIL}}, .result = 2, .after = kCached},
  {.name = "name refused", .scripts = {{"CreateAssemblyNameObject", "Ovk.Data.Zt4,", kInvalidName}}, .result = 2,
   .after = kCached},
  // Without a name object the enumeration would list, and remove, the whole cache.
  {.name = "no name object", .scripts = {{"CreateAssemblyNameObject", "", S_OK, 0}}, .result = 2, .after = kCached},
  {.name = "no enumerator", .scripts = {{"CreateAssemblyEnum", "", S_OK, 0}}, .after = kCached},
  {.name = "enumeration fails", .scripts = {{"GetNextAssembly", "9.0.0.1", E_FAIL}}, .result = 2, .after = kCached},
  {.name = "enumeration ends early", .scripts = {{"GetNextAssembly", "9.0.0.2", S_OK, 0}}, .after = k902Stays},
  // Only an entry still in use fails the call, even when a later one goes. The other dispositions
  // answer success, although an entry pending deletion, held by another installation's reference
  // or not by ours stays cached.
  {.name = "still in use", .scripts = {{"UninstallAssembly", "9.0.0.1", S_OK, 2}}, .result = 2, .after = k901Stays},
  {.name = "already uninstalled", .scripts = {{"UninstallAssembly", "9.0.0.1", S_OK, 3}}, .after = kOnlyAsp},
  {.name = "delete pending", .scripts = {{"UninstallAssembly", "9.0.0.2", S_OK, 4}}, .after = k902Stays},
  {.name = "has install references", .scripts = {{"UninstallAssembly", "9.0.0.2", S_OK, 5}}, .after = k902Stays},
  {.name = "reference not found", .scripts = {{"UninstallAssembly", "9.0.0.2", S_OK, 6}}, .after = k902Stays},
  {.name = "uninstall refused", .scripts = {{"UninstallAssembly", "9.0.0.2", kDenied, 1}}, .result = 2,
   .after = k902Stays},
  // The first cache is the probe; the second would remove the first entry.
  {.name = "second cache refused", .scripts = {{"CreateAssemblyCache", "", S_OK, 0, 2}}, .result = 2,
   .after = k901Stays},
  // A display name that cannot be read, or claims more than 32767 units, ends the walk; an
  // entry's second GetDisplayName reads what its first measured.
  {.name = "display name unreadable", .scripts = {{"GetDisplayName", "9.0.0.1", E_OUTOFMEMORY, 0, 2}}, .result = 2,
   .after = kCached},
  {.name = "display name too long", .scripts = {{"GetDisplayName", "9.0.0.1", kShort, 32768}}, .result = 2,
   .after = kCached},
  {.name = "display name longest", .scripts = {{"GetDisplayName", "9.0.0.1", kShort, 32767}}, .after = kOnlyAsp},
  {.name = "display name empty", .scripts = {{"GetDisplayName", "9.0.0.1", S_OK, 0}}, .after = k901Stays},
  {.name = "display name not quite read", .scripts = {{"GetDisplayName", "9.0.0.1", S_FALSE, 0, 2}},
   .after = k902Stays},
}), RowName());

INSTANTIATE_TEST_SUITE_P(Rows, OlderVersionTest, ::testing::ValuesIn(std::vector<OlderRow>{
  // Older: any named entry below 9.0.0.2, read unsigned; every failure answers no.
  {"nothing cached", "", {}, 0},
  {"9.0.0.1", kOld, {}, 1},
  {"9.0.0.2", kNew, {}, 0},
  {"8.65535.65535.65535", "Ovk.Data.Quillmor 8.65535.65535.65535", {}, 1},
  {"9.0.1.0", "Ovk.Data.Quillmor 9.0.1.0", {}, 0},
  {"9.1.0.0", "Ovk.Data.Quillmor 9.1.0.0", {}, 0},
  {"40000.0.0.0", "Ovk.Data.Quillmor 40000.0.0.0", {}, 0},
  {"older listed last", kNew + std::string(" ") + kOld, {}, 1},
  {"older nameless", kOld + std::string(" ") + kNew, {{"GetName", "9.0.0.1", S_OK, 0}}, 0},
  // An entry whose name or version cannot be read is passed over; an older one found ends the walk.
  {"unreadable name first", "Ovk.Data.Quillmor 11.0.0.0 " + std::string(kOld),
   {{"GetName", "11.0.0.0", E_FAIL}}, 1},
  {"unreadable version first", "Ovk.Data.Quillmor 11.0.0.0 " + std::string(kOld),
   {{"GetVersion", "11.0.0.0", E_FAIL}}, 1},
  {"only unreadable", kOld, {{"GetVersion", "9.0.0.1", E_FAIL}}, 0},
  {"no name object", "Ovk.Data.Other 1.0.0.0 " + std::string(kNew), {{"CreateAssemblyNameObject", "", S_OK, 0}}, 0},
  {"no entry handed out", kOld, {{"GetNextAssembly", "9.0.0.1", S_OK, 0}}, 0},
  {"enumeration fails", kOld, {{"GetNextAssembly", "9.0.0.1", E_FAIL}}, 0},
  {"cache refused", kOld, {{"CreateAssemblyCache", "", E_FAIL}}, 0},
  {"no enumerator", kOld, {{"CreateAssemblyEnum", "", S_OK, 0}}, 0},
}), RowName());

}  // namespace
