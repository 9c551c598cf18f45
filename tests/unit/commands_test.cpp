// The command line, and the two commands in-process over the fake fusion.dll: which command a
// command line runs, the commands' result codes, the failed-target mask, what the cache holds
// afterwards and which registry values are left. What a user sees after the plain runs is the
// Wine suite's to prove.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/provider_installer.h"
#include "tool_test.h"

namespace {

constexpr HRESULT kDenied = static_cast<HRESULT>(0x80070005u);
const char kAllCached[] = "2:ZQAE 4:ZQAE";

// The registry afterwards: the copy values of the 2.0 and 4.0 targets, then the AssemblyFolders value.
const char kBothCopies[] = "Zt4Home Zt4Home <absent>", kNoValue[] = "<absent> <absent> <absent>";
const char k40Copy[] = "<absent> Zt4Home <absent>", k20AndFolders[] = "Zt4Home <absent> C:\\Zt4";
const char kFoldersOnly[] = "<absent> <absent> C:\\Zt4", kAllValues[] = "Zt4Home Zt4Home C:\\Zt4";
const std::string kName64(64, 'n');

// Another product's Ovk.Data.Quillmor, older than ours, listed after a newer one; and older copies
// of our other three.
const char kOldQuillmorLast[] = "Ovk.Data.Quillmor 11.0.0.0 Ovk.Data.Quillmor 8.1.0.0";
const std::string kKeptOldLast = "Ovk.Data.Quillmor@11.0.0.0 Ovk.Data.Quillmor@8.1.0.0";
const char kOlderOthers[] = "Ovk.Data.Zt4 8.1.0.0 Ovk.Data.Zt4.ASP 8.1.0.0 Ovk.Data.Zt4.Entity 8.1.0.0";
const char kOlderOthersKept[] = "Ovk.Data.Zt4@8.1.0.0 Ovk.Data.Zt4.ASP@8.1.0.0 Ovk.Data.Zt4.Entity@8.1.0.0";

class CommandTest : public ToolTest {
 protected:
  // Frameworks such as "v2.0 v4.0" ("!v4.0": no fusion.dll), the cache and the scripted outcomes;
  // the product "P" registered as the copy `copy` (none when null); the AssemblyFolders value set.
  std::string Prepare(const char* frameworks, const std::string& cache, const std::vector<FusionScript>& scripts,
                      const char* copy) {
    std::istringstream names(frameworks);
    for (std::string v; names >> v;) AddFramework(v.substr(v[0] == '!'), v[0] == '!' ? nullptr : kFake);
    CacheEntries(cache);
    Script(scripts);
    const std::string product = MakeProduct("P");
    if (copy != nullptr) RegisterCopy(copy, product);
    platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", REG_SZ, "C:\\Zt4");
    return product;
  }

  static std::string Registry() {
    return Value(kCopiesKey, "10.1.6.DEF.2") + " " + Value(kCopiesKey, "10.1.6.DEF.4") + " " +
           Value(kFoldersKey, "Ovk.Data.Zt4");
  }
};

struct InstallRow {
  const char* name;
  const char* frameworks = "v2.0 v4.0";
  const char* cache = "";
  std::vector<FusionScript> scripts = {};
  const char* copy = "Zt4Home";   // the copy that owns the product
  const char* removed = nullptr;  // a path below the product
  const char* dir = "";           // after the product directory; null: an empty directory
  uint32_t mask = 3;
  bool readOnly = false;          // HKEY_LOCAL_MACHINE as a caller without administrator rights has it
  int result = 0;
  int failed = 0;                 // the failed-target mask
  std::string gac = kAllCached;
  std::string registry = kBothCopies;
};

void PrintTo(const InstallRow& row, std::ostream* out) { *out << row.name; }  // not its padding

class InstallTest : public CommandTest, public ::testing::WithParamInterface<InstallRow> {};

TEST_P(InstallTest, ResultMaskCacheAndRegistry) {
  const InstallRow& row = GetParam();
  const std::string product = Prepare(row.frameworks, row.cache, row.scripts, row.copy);
  if (row.removed != nullptr) std::filesystem::remove_all(product + "/" + row.removed);
  platform::standin::SetLocalMachineReadOnly(row.readOnly);
  const std::string directory = row.dir == nullptr ? "" : product + row.dir;
  int32_t failed = -1;
  EXPECT_EQ(ProviderInstaller().Install(directory.c_str(), &failed, row.mask, 1), row.result);
  EXPECT_EQ(failed, row.failed);
  EXPECT_EQ(Gac(), row.gac);
  EXPECT_EQ(Registry(), row.registry);
  EXPECT_EQ(platform::standin::TakeDebugOutput(), "");  // every copy was read
}

const std::vector<FusionScript> kRefuse40 = {{"InstallAssembly", "netf40_32", kDenied, 0, kEvery}};
const std::vector<FusionScript> kRefuseEntity = {{"InstallAssembly", "Entity", kDenied, 0, kEvery}};

INSTANTIATE_TEST_SUITE_P(Rows, InstallTest, ::testing::ValuesIn(std::vector<InstallRow>{
  {.name = "mask 0", .mask = 0, .gac = "", .registry = kNoValue},
  // Only the Entity Framework provider must be there; only a target that installed something is recorded.
  {.name = "no 4.0 ASP", .removed = "bin/netf40_32/Ovk.Data.Zt4.ASP.dll", .gac = "2:ZQAE 4:ZQE"},
  {.name = "no bin", .removed = "bin", .result = 1, .failed = 3, .gac = "", .registry = kFoldersOnly},
  {.name = "4.0 refused", .scripts = kRefuse40, .result = 1, .failed = 2, .gac = "2:ZQAE", .registry = k20AndFolders},
  {.name = "Entity refused", .scripts = kRefuseEntity, .result = 1, .failed = 3, .gac = "2:ZQA 4:ZQA",
   .registry = kAllValues},
  // An older cached second provider, wherever it is enumerated, keeps ours out; older others do not.
  {.name = "older Quillmor last", .cache = kOldQuillmorLast, .gac = "2:ZAE 4:ZAE " + kKeptOldLast},
  {.name = "older others", .cache = kOlderOthers, .gac = std::string("2:ZQAE 4:ZQAE ") + kOlderOthersKept},
  {.name = "copy name of 64", .copy = kName64.c_str(), .registry = kNoValue},
  // The reads ask for no more than reading; every write is refused, silently.
  {.name = "without administrator rights", .readOnly = true, .registry = kFoldersOnly},
  {.name = "no framework", .frameworks = "", .gac = "", .registry = kFoldersOnly},
  {.name = "no fusion.dll", .frameworks = "v2.0 !v4.0", .result = 4, .gac = "", .registry = kFoldersOnly},
  {.name = "empty directory", .dir = nullptr, .result = 3, .gac = "", .registry = kFoldersOnly},
}), RowName());

struct UninstallRow {
  const char* name;
  const char* list;  // the version list; null: none
  const char* frameworks = "v2.0 v4.0";
  std::vector<FusionScript> scripts = {};
  int result = 0;
  std::string gac = "";
  std::string registry = kBothCopies;
};

void PrintTo(const UninstallRow& row, std::ostream* out) { *out << row.name; }

// The cache before: both targets' providers.
const std::string kOurs = "Ovk.Data.Zt4 10.1.6.2 Ovk.Data.Quillmor 10.1.6.2 Ovk.Data.Zt4.ASP 10.1.6.2 "
    "Ovk.Data.Zt4.Entity 10.1.6.2 Ovk.Data.Zt4 10.1.6.4 Ovk.Data.Quillmor 10.1.6.4 Ovk.Data.Zt4.ASP 10.1.6.4 "
    "Ovk.Data.Zt4.Entity 10.1.6.4 ";

class UninstallTest : public CommandTest, public ::testing::WithParamInterface<UninstallRow> {};

TEST_P(UninstallTest, ResultCacheAndRegistry) {
  const UninstallRow& row = GetParam();
  (void)Prepare(row.frameworks, kOurs, row.scripts, "Zt4Home");
  for (const char* copyValue : {"10.1.6.DEF.2", "10.1.6.DEF.4"})
    platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, kCopiesKey, copyValue, REG_SZ, "Zt4Home");
  EXPECT_EQ(ProviderInstaller().Uninstall(row.list), row.result);
  EXPECT_EQ(Gac(), row.gac);
  EXPECT_EQ(Registry(), row.registry);
}

const std::vector<FusionScript> kRefuseFirst = {{"UninstallAssembly", "Zt4, Version=10.1.6.2", kDenied}};

// Each non-empty item removes by version and withdraws the copy values its provider version selects.
INSTANTIATE_TEST_SUITE_P(Rows, UninstallTest, ::testing::ValuesIn(std::vector<UninstallRow>{
  {.name = "leading separator", .list = ";10.1.6.2", .registry = k40Copy},
  {.name = "texts that begin no provider version", .list = "10.1.6.2.0;10.1.6.DEF;1.6"},
  // Any failed removal fails the command, not only the last Entity one; the rest still runs.
  {.name = "refused, all", .list = nullptr, .scripts = kRefuseFirst, .result = 1, .gac = "2:Z", .registry = kNoValue},
  // The name "-u" hands fusion.dll for the second provider at its version "9", exactly as it hands it.
  {.name = "refused, then gone", .list = "9;b",
   .scripts = {{"CreateAssemblyNameObject", "Ovk.Data.Quillmor,File Version=9", E_FAIL}}, .result = 1},
  {.name = "no framework", .list = "9", .frameworks = "", .gac = kAllCached, .registry = kAllValues},
  {.name = "no fusion.dll", .list = "9", .frameworks = "!v4.0", .result = 4, .gac = kAllCached, .registry = kAllValues},
}), RowName());

TEST_F(ToolTest, CommandLineRunsAtMostOneCommandAndExitsZero) {
  AddFramework("v4.0", kFake);
  const std::string dir = MakeProduct("P");
  // A copy without its path: whenever the install command reads the copies, it says so.
  platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, kCopiesKey + "\\Broken", "", REG_SZ, "");
  // Products whose directories are exactly as long as the tool takes, and one character longer.
  const std::string longest = MakeProduct("L/" + std::string(MAX_PATH - Root().size() - 3, 'x'));
  const std::string tooLong = MakeProduct("L/" + std::string(MAX_PATH - Root().size() - 2, 'y'));
  ASSERT_EQ(longest.size(), MAX_PATH);
  // Each row's cache afterwards, and whether the copies were read (the broken copy says so).
  const std::string nothing = "Ovk.Data.Zt4@8.0.0.0", searched = nothing + ", the copies read";
  const std::string installed = "2:ZQAE 4:ZQAE " + searched;
  const struct { const char* name; std::vector<std::string> arguments; std::string after; } rows[] = {
      {"no arguments", {}, nothing},
      {"-i alone", {"-i"}, nothing},
      {"-ix", {"-ix", dir}, nothing},
      {"-ux", {"-ux"}, nothing},
      {"-i a quote alone", {"-i", "\""}, nothing},  // the quote dropped leaves an empty directory
      {"-i", {"-i", dir}, installed},
      {"-i as installers quote it", {"-i", dir + "\""}, installed},  // "[INSTALLDIR]" in quotes
      // Taken, but the provider files below it are too long a path for the file calls.
      {"-i of 260 characters", {"-i", longest}, searched},
      {"-i of 260 and a quote", {"-i", longest + "\""}, searched},
      {"-i of 261 characters", {"-i", tooLong}, nothing},
      {"-u", {"-u"}, ""},
  };
  for (const auto& row : rows) {
    ExpectNothingLeft(rows == &row ? "the set-up" : (&row)[-1].name);
    FakeFusionReset();
    FakeFusionAddEntry("Ovk.Data.Zt4", "8.0.0.0");
    std::vector<std::string> arguments = {"zt4gac.exe"};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    EXPECT_EQ(RunCommandLine(static_cast<int>(arguments.size()), argv.data()), 0) << row.name;
    EXPECT_EQ(Gac() + (platform::standin::TakeDebugOutput().empty() ? "" : ", the copies read"), row.after) << row.name;
  }
}

}  // namespace
