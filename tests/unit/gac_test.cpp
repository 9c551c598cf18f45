// The assembly cache client against the fake fusion.dll: which module LoadFusion takes and its
// codes, and what the cache operations answer when fusion.dll fails them or hands out nothing.
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
  }
}

// What the commands ask of the cache: install a provider's file; uninstall by the name "-u" gives.
int InstallFile(AssemblyCacheClient& client, const char* file) { return client.InstallAssemblyFile(file); }
int UninstallName(AssemblyCacheClient& client, const char*) {
  return client.UninstallAssemblies("Ovk.Data.Zt4,File Version=9", nullptr);
}

// One cache operation of a client whose LoadFusion took the full fake, over the cache `cache`
// ("name file" pairs) and the scripted outcomes: its answer, and the cache afterwards.
struct ChangeRow {
  const char* name;
  int (*operation)(AssemblyCacheClient& client, const char* file);  // the file holds "9.0.0.2"
  std::string cache;
  std::vector<FusionScript> scripts;
  int result;
  std::string after;  // as FakeFusionListing writes it
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

TEST_P(ChangeTest, AnswerAndCacheAfterwards) {
  const std::string file = WriteFile("Ovk.Data.Zt4.dll", "9.0.0.2");
  EXPECT_EQ(Run([&](AssemblyCacheClient& c) { return GetParam().operation(c, file.c_str()); }), GetParam().result);
  EXPECT_EQ(FakeFusionListing(), GetParam().after);
}

// Asking changes nothing.
TEST_P(OlderVersionTest, AnswerAndCacheUnchanged) {
  EXPECT_EQ(Run([](AssemblyCacheClient& c) { return c.IsOlderVersionCached("Ovk.Data.Quillmor"); }),
            GetParam().older);
  EXPECT_EQ(FakeFusionListing(), GetParam().cache);
}

constexpr HRESULT kDenied = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT kBadImage = static_cast<HRESULT>(0x8007000Bu), kInvalidName = static_cast<HRESULT>(0x80131047u);
const std::string kTwo = "Ovk.Data.Zt4 9.0.0.1\nOvk.Data.Zt4 9.0.0.2\nOvk.Data.Zt4.ASP 9.0.0.2\n";
const std::string kFirstGone = kTwo.substr(21), kBothGone = kTwo.substr(42);
const std::string kSecondGone = kTwo.substr(0, 21) + kBothGone;
const std::string kNew = "Ovk.Data.Quillmor 9.0.0.2\n", kOld = "Ovk.Data.Quillmor 9.0.0.1\n";
const std::string kUnreadable = "Ovk.Data.Quillmor 11.0.0.0\n";

INSTANTIATE_TEST_SUITE_P(Rows, ChangeTest, ::testing::ValuesIn(std::vector<ChangeRow>{
  {"installed", InstallFile, "", {}, 0, "Ovk.Data.Zt4 9.0.0.2\n"},
  // Any success code counts as installed; a cache handed out with a failure is still released.
  {"already there", InstallFile, "", {{"InstallAssembly", 1, S_FALSE, 0}}, 0, "Ovk.Data.Zt4 9.0.0.2\n"},
  {"install, no cache object", InstallFile, "", {{"CreateAssemblyCache", 1, S_OK, 0}}, 1, ""},
  {"install, cache refused", InstallFile, "", {{"CreateAssemblyCache", 1, E_FAIL, 1}}, 1, ""},
  {"not an assembly", InstallFile, "", {{"InstallAssembly", 1, kBadImage, 0}}, 1, ""},
  // A refresh replaces the files of the same version, unless the cached ones are a later build.
  {"same build refreshed", InstallFile, "Ovk.Data.Zt4 9.0.0.2+0", {}, 0, "Ovk.Data.Zt4 9.0.0.2\n"},
  {"later build kept", InstallFile, "Ovk.Data.Zt4 9.0.0.2+9", {}, 0, "Ovk.Data.Zt4 9.0.0.2+9\n"},
  // Every matching entry goes by its own display name; ",File Version=" narrows nothing here.
  {"by version", UninstallName, kTwo, {}, 0, kBothGone},
  {"nothing cached", UninstallName, "", {}, 0, ""},
  {"cache refused", UninstallName, kTwo, {{"CreateAssemblyCache", 1, E_FAIL, 0}}, 2, kTwo},
  {"name refused", UninstallName, kTwo, {{"CreateAssemblyNameObject", 1, kInvalidName, 0}}, 2, kTwo},
  // Without a name object the enumeration would list, and remove, the whole cache.
  {"no name object", UninstallName, kTwo, {{"CreateAssemblyNameObject", 1, S_OK, 0}}, 2, kTwo},
  {"no enumerator", UninstallName, kTwo, {{"CreateAssemblyEnum", 1, S_OK, 0}}, 0, kTwo},
  {"enumeration fails", UninstallName, kTwo, {{"GetNextAssembly", 1, E_FAIL, 0}}, 2, kTwo},
  {"enumeration ends early", UninstallName, kTwo, {{"GetNextAssembly", 2, S_OK, 0}}, 0, kFirstGone},
  // An entry that stays fails the call, even when a later one goes; other dispositions are success.
  {"still in use", UninstallName, kTwo, {{"UninstallAssembly", 1, S_OK, 2}}, 2, kBothGone},
  {"already uninstalled", UninstallName, kTwo, {{"UninstallAssembly", 1, S_OK, 3}}, 0, kBothGone},
  {"delete pending", UninstallName, kTwo, {{"UninstallAssembly", 2, S_OK, 4}}, 0, kBothGone},
  {"has install references", UninstallName, kTwo, {{"UninstallAssembly", 2, S_OK, 5}}, 0, kBothGone},
  {"reference not found", UninstallName, kTwo, {{"UninstallAssembly", 2, S_OK, 6}}, 0, kBothGone},
  {"uninstall refused", UninstallName, kTwo, {{"UninstallAssembly", 2, kDenied, 1}}, 2, kFirstGone},
  {"second cache refused", UninstallName, kTwo, {{"CreateAssemblyCache", 2, S_OK, 0}}, 2, kSecondGone},
  // A display name that cannot be read, or claims more than 32767 units, ends the walk.
  {"display name unreadable", UninstallName, kTwo, {{"GetDisplayName", 2, E_OUTOFMEMORY, 0}}, 2, kTwo},
  {"display name too long", UninstallName, kTwo, {{"GetDisplayName", 1, E_NOT_SUFFICIENT_BUFFER, 32768}}, 2, kTwo},
  {"display name longest", UninstallName, kTwo, {{"GetDisplayName", 1, E_NOT_SUFFICIENT_BUFFER, 32767}}, 0, kBothGone},
  {"display name empty", UninstallName, kTwo, {{"GetDisplayName", 1, S_OK, 0}}, 0, kSecondGone},
  {"display name not quite read", UninstallName, kTwo, {{"GetDisplayName", 2, S_FALSE, 0}}, 0, kFirstGone},
}), RowName());

INSTANTIATE_TEST_SUITE_P(Rows, OlderVersionTest, ::testing::ValuesIn(std::vector<OlderRow>{
  // Older: any named entry below 9.0.0.2, read unsigned; every failure answers no.
  {"nothing cached", "", {}, 0},
  {"9.0.0.1", kOld, {}, 1},
  {"9.0.0.2", kNew, {}, 0},
  {"8.65535.65535.65535", "Ovk.Data.Quillmor 8.65535.65535.65535\n", {}, 1},
  {"9.0.1.0", "Ovk.Data.Quillmor 9.0.1.0\n", {}, 0},
  {"9.1.0.0", "Ovk.Data.Quillmor 9.1.0.0\n", {}, 0},
  {"40000.0.0.0", "Ovk.Data.Quillmor 40000.0.0.0\n", {}, 0},
  {"older listed last", kNew + kOld, {}, 1},
  {"older nameless", kOld + kNew, {{"GetName", 1, S_OK, 0}}, 0},
  // An entry whose name or version cannot be read is passed over; an older one found ends the walk.
  {"unreadable name first", kUnreadable + kOld, {{"GetName", 1, E_FAIL, 0}}, 1},
  {"unreadable version first", kUnreadable + kOld, {{"GetVersion", 1, E_FAIL, 0}}, 1},
  {"only unreadable", kOld, {{"GetVersion", 1, E_FAIL, 0}}, 0},
  {"no name object", "Ovk.Data.Other 1.0.0.0\n" + kNew, {{"CreateAssemblyNameObject", 1, S_OK, 0}}, 0},
  {"no entry handed out", kOld, {{"GetNextAssembly", 1, S_OK, 0}}, 0},
  {"enumeration fails", kOld, {{"GetNextAssembly", 1, E_FAIL, 0}}, 0},
  {"cache refused", kOld, {{"CreateAssemblyCache", 1, E_FAIL, 0}}, 0},
  {"no enumerator", kOld, {{"CreateAssemblyEnum", 1, S_OK, 0}}, 0},
}), RowName());

}  // namespace
