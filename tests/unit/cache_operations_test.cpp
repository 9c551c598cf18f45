// The cache operations against the stand-in fusion.dll: what reaches the cache, how its
// answers become result codes, and that every interface object is released.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_fusion_fixture.h"

namespace {

using fake_fusion::Entry;
using fake_fusion::PointerText;

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

class CacheOperationsTest : public LoadedClientTest {
 protected:
  // Every operation must leave no interface object alive.
  void ExpectAllReleased() { EXPECT_EQ(ReadState().live, 0); }

  std::vector<std::string> UninstalledNames() const {
    std::vector<std::string> names;
    for (const auto& call : ReadState().CallsTo("IAssemblyCache.UninstallAssembly")) names.push_back(call.Arg("name"));
    return names;
  }
};

// ASCII text widened; the result lives until the end of the full expression that uses it.
struct Wide {
  explicit Wide(const std::string& text) : wide(text.begin(), text.end()) {}
  operator LPCWSTR() const { return reinterpret_cast<LPCWSTR>(wide.c_str()); }
  std::u16string wide;
};

// A reference naming its caller; `identifier` must outlive it.
FUSION_INSTALL_REFERENCE ReferenceFrom(const char16_t* identifier) {
  FUSION_INSTALL_REFERENCE reference{};
  reference.cbSize = sizeof reference;
  reference.szIdentifier = reinterpret_cast<LPCWSTR>(identifier);
  return reference;
}

TEST_F(CacheOperationsTest, InstallAddsTheFileWithTheRefreshFlagAndNoReference) {
  const std::string path = WriteFile("P/bin/4.x/Ovk.Data.Zt4.dll", "assembly");
  SetEntries({});
  fake_fusion::State state = ReadState();
  state.installVersions.push_back({path, fake_fusion::ParseVersion("9.0.0.2")});
  WriteState(state);

  EXPECT_EQ(client_->InstallAssemblyFile(path.c_str()), 0);
  state = ReadState();
  ASSERT_EQ(state.entries.size(), 1u);
  EXPECT_EQ(state.entries[0].name, "Ovk.Data.Zt4");
  EXPECT_EQ(fake_fusion::VersionText(state.entries[0].version), "9.0.0.2");
  const auto creates = state.CallsTo("CreateAssemblyCache");
  ASSERT_EQ(creates.size(), 1u);
  EXPECT_EQ(creates[0].Arg("reserved"), "0");
  const auto installs = state.CallsTo("IAssemblyCache.InstallAssembly");
  ASSERT_EQ(installs.size(), 1u);
  EXPECT_EQ(installs[0].Arg("flags"), "1");
  EXPECT_EQ(installs[0].Arg("path"), path);
  EXPECT_EQ(installs[0].Arg("reference"), "null");
  EXPECT_EQ(state.live, 0);

  // A non-ASCII path arrives as the same text, widened from the ANSI code page.
  const std::string accented = WriteFile("P/bin/2.x/Ovk.Data.Quillm\xC3\xB6r.dll", "assembly");
  EXPECT_EQ(client_->InstallAssemblyFile(accented.c_str()), 0);
  EXPECT_EQ(ReadState().CallsTo("IAssemblyCache.InstallAssembly").back().Arg("path"), accented);

  // The wide form takes the same road without conversion.
  const std::string other = WriteFile("P/bin/4.x/Ovk.Data.Zt4.ASP.dll", "assembly");
  EXPECT_EQ(client_->InstallAssemblyFileW(Wide(other)), 0);
  state = ReadState();
  EXPECT_EQ(state.entries.size(), 3u);
  EXPECT_EQ(state.CallsTo("IAssemblyCache.InstallAssembly").back().Arg("flags"), "1");
  EXPECT_EQ(state.live, 0);
}

TEST_F(CacheOperationsTest, InstallSuccessCodesCountAsInstalledAndFailuresAs1) {
  const std::string path = WriteFile("P/bin/4.x/Ovk.Data.Zt4.dll", "assembly");
  SetEntries({});

  for (const HRESULT result : {S_FALSE, kAccessDenied}) {
    ScriptNext("InstallAssembly", result);
    EXPECT_EQ(client_->InstallAssemblyFile(path.c_str()), result == S_FALSE ? 0 : 1);
    ExpectAllReleased();
  }

  const std::string notAnAssembly = WriteFile("P/bin/4.x/Ovk.Data.Zt4.Entity.dll", "not an assembly");
  EXPECT_EQ(client_->InstallAssemblyFile(notAnAssembly.c_str()), 1);
  EXPECT_EQ(client_->InstallAssemblyFile((root_ + "/P/bin/4.x/missing.dll").c_str()), 1);
  ExpectAllReleased();

  // A cache that cannot be opened: even an object handed out with the failure is released.
  SetEntries({});
  ScriptNext("CreateAssemblyCache", E_FAIL, true);
  EXPECT_EQ(client_->InstallAssemblyFile(path.c_str()), 1);
  ExpectAllReleased();
  EXPECT_EQ(ReadState().CallsTo("IAssemblyCache.InstallAssembly").size(), 0u);
}

TEST_F(CacheOperationsTest, InstallVariantsPassFlagsAndReferenceThrough) {
  const std::string path = WriteFile("P/Ovk.Data.Zt4.dll", "assembly");
  SetEntries({});

  FUSION_INSTALL_REFERENCE reference = ReferenceFrom(u"caller");
  EXPECT_EQ(client_->InstallAssemblyFileEx(path.c_str(), &reference, 0), 0);
  auto install = ReadState().CallsTo("IAssemblyCache.InstallAssembly").back();
  EXPECT_EQ(install.Arg("flags"), "0");
  EXPECT_EQ(install.Arg("reference"), PointerText(&reference));
  EXPECT_EQ(install.Arg("referenceIdentifier"), "caller");

  EXPECT_EQ(client_->InstallAssemblyFileExW(Wide(path), nullptr, 1), 0);
  install = ReadState().CallsTo("IAssemblyCache.InstallAssembly").back();
  EXPECT_EQ(install.Arg("path"), path);
  EXPECT_EQ(install.Arg("reference"), "null");

  const GUID scheme{0x8cedc215, 0xac4b, 0x488b, {0x93, 0xc0, 0xa5, 0x0a, 0x15, 0xbb, 0x0d, 0x9a}};
  EXPECT_EQ(client_->InstallAssemblyFileWithReference(path.c_str(), scheme, "Zt4 setup", "copy 1"), 0);
  install = ReadState().CallsTo("IAssemblyCache.InstallAssembly").back();
  EXPECT_EQ(install.Arg("flags"), "1");
  EXPECT_EQ(install.Arg("referenceSize"), std::to_string(sizeof(FUSION_INSTALL_REFERENCE)));
  EXPECT_EQ(install.Arg("referenceFlags"), "0");
  EXPECT_EQ(install.Arg("referenceScheme"), "8cedc215-ac4b-488b-93c0");
  EXPECT_EQ(install.Arg("referenceIdentifier"), "Zt4 setup");
  EXPECT_EQ(install.Arg("referenceData"), "copy 1");
  ExpectAllReleased();

  // Any text that cannot be converted fails the call before the cache is opened.
  const size_t opened = ReadState().CallsTo("CreateAssemblyCache").size();
  EXPECT_EQ(client_->InstallAssemblyFileWithReference(path.c_str(), scheme, nullptr, "copy 1"), 1);
  EXPECT_EQ(client_->InstallAssemblyFileWithReference(path.c_str(), scheme, "Zt4 setup", nullptr), 1);
  EXPECT_EQ(client_->InstallAssemblyFileWithReference(nullptr, scheme, "Zt4 setup", "copy 1"), 1);
  EXPECT_EQ(client_->InstallAssemblyFileEx(nullptr, nullptr, 1), 1);
  EXPECT_EQ(client_->InstallAssemblyFile(nullptr), 1);
  EXPECT_EQ(ReadState().CallsTo("CreateAssemblyCache").size(), opened);
}

TEST_F(CacheOperationsTest, UninstallRemovesEveryMatchingEntryByItsOwnDisplayName) {
  const Entry old = CachedEntry("Ovk.Data.Zt4", "9.0.0.1");
  const Entry current = CachedEntry("Ovk.Data.Zt4", "9.0.0.2");
  const Entry other = CachedEntry("Ovk.Data.Zt4.ASP", "9.0.0.2");
  SetEntries({old, current, other});

  // The unknown attribute narrows nothing in the stand-in, as in Wine's fusion.
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4,File Version=9", nullptr), 0);
  const fake_fusion::State state = ReadState();
  EXPECT_EQ(UninstalledNames(), (std::vector<std::string>{old.displayName, current.displayName}));
  const auto pattern = state.CallsTo("CreateAssemblyNameObject");
  ASSERT_EQ(pattern.size(), 1u);
  EXPECT_EQ(pattern[0].Arg("name"), "Ovk.Data.Zt4,File Version=9");
  EXPECT_EQ(pattern[0].Arg("flags"), "1");
  EXPECT_EQ(pattern[0].Arg("reserved"), "null");
  const auto enumeration = state.CallsTo("CreateAssemblyEnum");
  ASSERT_EQ(enumeration.size(), 1u);
  EXPECT_EQ(enumeration[0].Arg("flags"), "2");
  EXPECT_EQ(enumeration[0].Arg("reservedUnknown"), "null");
  EXPECT_EQ(enumeration[0].Arg("reserved"), "null");
  for (const auto& next : state.CallsTo("IAssemblyEnum.GetNextAssembly")) {
    EXPECT_EQ(next.Arg("reserved"), "null");
    EXPECT_EQ(next.Arg("flags"), "0");
  }
  for (const auto& read : state.CallsTo("IAssemblyName.GetDisplayName")) EXPECT_EQ(read.Arg("flags"), "21");
  for (const auto& uninstall : state.CallsTo("IAssemblyCache.UninstallAssembly")) {
    EXPECT_EQ(uninstall.Arg("flags"), "0");
    EXPECT_EQ(uninstall.Arg("disposition"), "given");
  }
  EXPECT_EQ(state.live, 0);

  // Nothing matching: success, and nothing is asked to go.
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 0);
  EXPECT_EQ(ReadState().CallsTo("IAssemblyCache.UninstallAssembly").size(), 2u);
  ExpectAllReleased();

  EXPECT_EQ(client_->UninstallAssembliesW(Wide("ovk.data.zt4.asp"), nullptr), 0);
  EXPECT_TRUE(ReadState().entries.empty());
  ExpectAllReleased();
}

TEST_F(CacheOperationsTest, AnEntryStillInUseFailsTheUninstallWhateverItsPlace) {
  const Entry first = CachedEntry("Ovk.Data.Zt4", "9.0.0.1");
  const Entry second = CachedEntry("Ovk.Data.Zt4", "9.0.0.2");
  for (const bool inUseFirst : {true, false}) {
    SCOPED_TRACE(inUseFirst ? "still in use, then uninstalled" : "uninstalled, then still in use");
    SetEntries({first, second});
    ScriptUninstall(inUseFirst ? first.displayName : second.displayName,
                    IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE, S_OK);
    EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 2);
    // The failure does not stop the walk.
    EXPECT_EQ(UninstalledNames(), (std::vector<std::string>{first.displayName, second.displayName}));
    ASSERT_EQ(ReadState().entries.size(), 1u);
    EXPECT_EQ(ReadState().entries[0].displayName, inUseFirst ? first.displayName : second.displayName);
    ExpectAllReleased();
  }

  // A failing HRESULT on an earlier entry sticks as well.
  SetEntries({first, second});
  ScriptNext("UninstallAssembly", kAccessDenied);
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 2);
  EXPECT_EQ(UninstalledNames().size(), 2u);
  ExpectAllReleased();
}

TEST_F(CacheOperationsTest, EveryDispositionMapsToItsResult) {
  const Entry entry = CachedEntry("Ovk.Data.Zt4.Entity", "9.0.0.2");
  const struct {
    ULONG disposition;
    HRESULT result;
    int expected;
  } cases[] = {
      {IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED, S_OK, 0},
      {IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE, S_OK, 2},
      {IASSEMBLYCACHE_UNINSTALL_DISPOSITION_ALREADY_UNINSTALLED, S_FALSE, 0},
      {IASSEMBLYCACHE_UNINSTALL_DISPOSITION_DELETE_PENDING, S_OK, 0},
      {IASSEMBLYCACHE_UNINSTALL_DISPOSITION_HAS_INSTALL_REFERENCES, S_OK, 0},
      {IASSEMBLYCACHE_UNINSTALL_DISPOSITION_REFERENCE_NOT_FOUND, S_OK, 0},
      {0, S_OK, 0},
      {7, S_OK, 0},
      {IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED, kAccessDenied, 2},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << testCase.disposition << ", HRESULT "
                                    << fake_fusion::HresultText(testCase.result));
    SetEntries({entry});
    ScriptUninstall(entry.displayName, testCase.disposition, testCase.result);
    EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4.Entity", nullptr), testCase.expected);
    ExpectAllReleased();

    SetEntries({entry});
    ScriptUninstall(entry.displayName, testCase.disposition, testCase.result);
    EXPECT_EQ(client_->UninstallExactName(entry.displayName.c_str(), nullptr), testCase.expected);
    ExpectAllReleased();
  }
}

TEST_F(CacheOperationsTest, TheReferenceReachesEveryUninstallUnchanged) {
  const Entry first = CachedEntry("Ovk.Data.Quillmor", "8.0.0.0");
  const Entry second = CachedEntry("Ovk.Data.Quillmor", "9.0.0.2");
  FUSION_INSTALL_REFERENCE reference = ReferenceFrom(u"Zt4 setup");
  const FUSION_INSTALL_REFERENCE* const references[] = {&reference, nullptr};
  for (const FUSION_INSTALL_REFERENCE* given : references) {
    SetEntries({first, second});
    EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Quillmor", given), 0);
    const auto uninstalls = ReadState().CallsTo("IAssemblyCache.UninstallAssembly");
    ASSERT_EQ(uninstalls.size(), 2u);
    for (const auto& call : uninstalls) {
      EXPECT_EQ(call.Arg("reference"), PointerText(given));
      if (given != nullptr) {
        EXPECT_EQ(call.Arg("referenceIdentifier"), "Zt4 setup");
      }
    }

    SetEntries({first});
    EXPECT_EQ(client_->UninstallExactNameW(Wide(first.displayName), given), 0);
    EXPECT_EQ(ReadState().CallsTo("IAssemblyCache.UninstallAssembly").back().Arg("reference"), PointerText(given));
  }
}

TEST_F(CacheOperationsTest, UninstallReleasesEverythingOnEveryFailurePath) {
  const Entry entry = CachedEntry("Ovk.Data.Zt4", "9.0.0.2");

  const Entry later = CachedEntry("Ovk.Data.Zt4", "9.0.0.3");
  const struct {
    const char* call;
    HRESULT result;
    int expected;
  } failures[] = {
      {"CreateAssemblyCache", E_FAIL, 2},  // the object handed out with the failure is released too
      {"CreateAssemblyNameObject", S_FALSE, 2},  // anything but S_OK is a rejection, even with an object
      {"CreateAssemblyEnum", E_FAIL, 0},         // no enumerator: nothing to remove
      {"CreateAssemblyEnum", S_FALSE, 0},
      {"GetNextAssembly", S_FALSE, 0},  // the walk ends at any answer but S_OK
      {"GetNextAssembly", E_FAIL, 2},   // a failing enumeration leaves entries behind
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(testing::Message() << failure.call << " " << fake_fusion::HresultText(failure.result));
    SetEntries({entry, later});
    ScriptNext(failure.call, failure.result, true);
    EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), failure.expected);
    EXPECT_TRUE(UninstalledNames().empty());
    ExpectAllReleased();
  }

  // A display name the parser rejects.
  EXPECT_EQ(client_->UninstallAssemblies("", nullptr), 2);
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4,Version", nullptr), 2);
  ExpectAllReleased();

  // The fresh cache for one entry cannot be opened: that entry fails, the next one goes.
  SetEntries({entry, later});
  ScriptNext("CreateAssemblyCache", S_OK);  // the probe
  ScriptNext("CreateAssemblyCache", kAccessDenied);
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 2);
  EXPECT_EQ(UninstalledNames().size(), 1u);
  ExpectAllReleased();

  // UninstallExactName: no enumeration, the caller's text as it stands.
  SetEntries({entry});
  EXPECT_EQ(client_->UninstallExactName("Ovk.Data.Zt4", nullptr), 0);
  EXPECT_EQ(ReadState().CallsTo("CreateAssemblyEnum").size(), 0u);
  EXPECT_EQ(UninstalledNames(), std::vector<std::string>{"Ovk.Data.Zt4"});
  ScriptNext("CreateAssemblyCache", E_FAIL, true);
  EXPECT_EQ(client_->UninstallExactName("Ovk.Data.Zt4", nullptr), 2);
  EXPECT_EQ(client_->UninstallExactName(nullptr, nullptr), 2);
  ExpectAllReleased();
}

TEST_F(CacheOperationsTest, DisplayNameLengthsAreNotTrusted) {
  const Entry next = CachedEntry("Ovk.Data.Zt4", "9.0.0.3");
  for (const uint32_t absurd : {0xFFFFFFFFu, 0xFFFFFFFEu, 32768u, 0x7FFFFFFFu}) {
    SCOPED_TRACE(absurd);
    Entry lying = CachedEntry("Ovk.Data.Zt4", "9.0.0.2");
    lying.displayLength = absurd;
    SetEntries({lying, next});
    // The entry cannot be read, so it stays: a failure, and the walk ends there.
    EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 2);
    const fake_fusion::State state = ReadState();
    ASSERT_EQ(state.CallsTo("IAssemblyName.GetDisplayName").size(), 1u);
    EXPECT_EQ(state.CallsTo("IAssemblyName.GetDisplayName")[0].Arg("buffer"), "null");
    EXPECT_TRUE(UninstalledNames().empty());
    EXPECT_EQ(state.live, 0);
  }

  // The longest name the platform handles is still read, into room for it and its terminator.
  Entry longest = CachedEntry("Ovk.Data.Zt4", "9.0.0.2");
  longest.displayLength = 32767;
  SetEntries({longest, next});
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 0);
  const auto reads = ReadState().CallsTo("IAssemblyName.GetDisplayName");
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[1].Arg("buffer"), "given");
  EXPECT_EQ(reads[1].Arg("length"), "32767");
  EXPECT_EQ(UninstalledNames(), (std::vector<std::string>{longest.displayName, next.displayName}));
  ExpectAllReleased();

  // A name that cannot be read with a buffer: the same failure.
  Entry unreadable = CachedEntry("Ovk.Data.Zt4", "9.0.0.2");
  unreadable.displayResult = E_OUTOFMEMORY;
  SetEntries({unreadable, next});
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 2);
  EXPECT_TRUE(UninstalledNames().empty());
  ExpectAllReleased();

  // An entry with an empty display name has nothing to remove; the walk goes on.
  Entry empty = CachedEntry("Ovk.Data.Zt4", "9.0.0.2");
  empty.displayName = "";
  empty.displayLength = 0;
  SetEntries({next, empty});
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4", nullptr), 0);
  EXPECT_EQ(UninstalledNames(), std::vector<std::string>{next.displayName});
  ExpectAllReleased();
}

TEST_F(CacheOperationsTest, OlderVersionIsBelow9002ReadAsUnsignedComponents) {
  const struct {
    const char* version;
    int older;
  } cases[] = {
      {"8.0.0.0", 1},  {"8.65535.65535.65535", 1}, {"9.0.0.0", 1},  {"9.0.0.1", 1},
      {"9.0.0.2", 0},  {"9.0.0.3", 0},             {"9.0.1.0", 0},  {"9.1.0.0", 0},
      {"10.0.0.0", 0}, {"40000.0.0.0", 0},         {"9.0.0.40000", 0}, {"0.0.0.0", 1},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.version);
    SetEntries({CachedEntry("Ovk.Data.Quillmor", testCase.version)});
    EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), testCase.older);
    ExpectAllReleased();
  }
}

TEST_F(CacheOperationsTest, OnlyTheFirstNamedEntryDecides) {
  // A later, older entry does not count.
  SetEntries({CachedEntry("Ovk.Data.Quillmor", "9.0.1.0"), CachedEntry("Ovk.Data.Quillmor", "8.0.0.0")});
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  EXPECT_EQ(ReadState().CallsTo("IAssemblyName.GetVersion").size(), 1u);
  ExpectAllReleased();

  // An entry without a simple name is skipped; the next one decides.
  Entry nameless = CachedEntry("Ovk.Data.Quillmor", "9.0.0.2");
  nameless.name = "";
  const Entry older = CachedEntry("Ovk.Data.Quillmor", "9.0.0.1");
  SetEntries({nameless, older});
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 1);
  const auto versions = ReadState().CallsTo("IAssemblyName.GetVersion");
  ASSERT_EQ(versions.size(), 1u);
  EXPECT_EQ(versions[0].Arg("entry"), older.displayName);
  ExpectAllReleased();

  // Nothing matching, or nothing named: not older.
  SetEntries({});
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  SetEntries({nameless});
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  ExpectAllReleased();
}

TEST_F(CacheOperationsTest, OlderVersionAnswersNoOnEveryFailureAndReleasesEverything) {
  const Entry older = CachedEntry("Ovk.Data.Quillmor", "8.0.0.0");
  Entry noVersion = older;
  noVersion.versionResult = E_FAIL;
  Entry nameFails = older;
  nameFails.name = "";
  nameFails.nameResult = E_FAIL;

  SetEntries({noVersion});
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  ExpectAllReleased();
  // A nameless entry whose GetName fails ends the walk before the older entry.
  SetEntries({nameFails, older});
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  EXPECT_EQ(ReadState().CallsTo("IAssemblyName.GetVersion").size(), 0u);
  ExpectAllReleased();

  SetEntries({older});
  EXPECT_EQ(client_->IsOlderVersionCached(""), 0);
  EXPECT_EQ(client_->IsOlderVersionCached(nullptr), 0);
  ExpectAllReleased();
  for (const char* call : {"CreateAssemblyCache", "CreateAssemblyNameObject", "CreateAssemblyEnum", "GetNextAssembly"}) {
    SCOPED_TRACE(call);
    SetEntries({older});
    ScriptNext(call, E_FAIL, true);
    EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
    ExpectAllReleased();
    SetEntries({older});
    ScriptNext(call, S_FALSE);
    EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), call == std::string("CreateAssemblyCache") ? 1 : 0);
    ExpectAllReleased();
  }
}

}  // namespace
