#include <gtest/gtest.h>

#include <string>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "registry/assembly_folders.h"

namespace {

using platform::standin::OpenRegistryHandleCount;
using platform::standin::RegistryKeyExists;
using platform::standin::RegistryValueExists;

const std::string kCopies = "SOFTWARE\\Ovk\\Zt4\\InstalledCopies";
const std::string kFolders = "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4";

class AssemblyFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::standin::ResetRegistry(); }
  void TearDown() override {
    EXPECT_EQ(OpenRegistryHandleCount(), 0);
    platform::standin::ResetRegistry();
  }

  // Both copy records, a registered copy's subkey, and the provider's AssemblyFolders entry.
  static void RegisterEverything() {
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopies, "10.1.6.DEF.2", "Zt4Copy1");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopies, "10.1.6.DEF.4", "Zt4Copy1");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopies + "\\Zt4Copy1", "Zt4 Path Name", "C:\\P");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kFolders, "Ovk.Data.Zt4", "C:\\P\\bin");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kFolders, "Other", "C:\\Elsewhere");
  }
  static bool HasCopyValue(const char* name) { return RegistryValueExists(HKEY_LOCAL_MACHINE, kCopies, name); }
};

TEST_F(AssemblyFoldersTest, RecordProviderCopyWritesTheNameWithItsTerminator) {
  RecordProviderCopy("10.1.6.DEF.2", "Zt4Home");

  DWORD type = REG_NONE;
  std::string bytes;
  ASSERT_TRUE(platform::standin::ReadRegistryValue(HKEY_LOCAL_MACHINE, kCopies, "10.1.6.DEF.2", &type, &bytes));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(bytes, std::string("Zt4Home", 8));  // length + 1 bytes: the NUL is stored
}

TEST_F(AssemblyFoldersTest, RecordProviderCopyOverwritesAndLeavesOtherRecords) {
  RecordProviderCopy("10.1.6.DEF.4", "Zt4Other");
  RecordProviderCopy("10.1.6.DEF.2", "Zt4First");
  RecordProviderCopy("10.1.6.DEF.2", "Zt4Second");

  std::string text;
  ASSERT_TRUE(platform::standin::ReadRegistryString(HKEY_LOCAL_MACHINE, kCopies, "10.1.6.DEF.2", &text));
  EXPECT_EQ(text, "Zt4Second");
  ASSERT_TRUE(platform::standin::ReadRegistryString(HKEY_LOCAL_MACHINE, kCopies, "10.1.6.DEF.4", &text));
  EXPECT_EQ(text, "Zt4Other");

  // Still exactly two values: the second call replaced the first rather than adding one.
  platform::UniqueRegKey key;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCopies.c_str(), 0, KEY_READ, key.put()), ERROR_SUCCESS);
  char name[32];
  DWORD nameLength = sizeof name;
  EXPECT_EQ(platform::RegEnumValueA(key.get(), 2, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(AssemblyFoldersTest, RecordProviderCopyWithoutAccessWritesNothing) {
  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kCopies);
  RecordProviderCopy("10.1.6.DEF.2", "Zt4Home");
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kCopies));
}

TEST_F(AssemblyFoldersTest, ClearAssemblyFoldersDeletesTheKeyWithItsValues) {
  RegisterEverything();
  ClearAssemblyFolders();
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kFolders));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders"));
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.2"));

  ClearAssemblyFolders();  // absent now: nothing to do, nothing else touched
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders"));
}

TEST_F(AssemblyFoldersTest, ClearAssemblyFoldersLeavesAKeyWithSubkeysOrWithoutAccess) {
  RegisterEverything();
  platform::standin::CreateRegistryKey(HKEY_LOCAL_MACHINE, kFolders + "\\Nested");
  ClearAssemblyFolders();
  EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFolders, "Ovk.Data.Zt4"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kFolders + "\\Nested"));

  platform::standin::ResetRegistry();
  RegisterEverything();
  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kFolders);
  ClearAssemblyFolders();
  EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFolders, "Ovk.Data.Zt4"));
}

TEST_F(AssemblyFoldersTest, RemoveRegistrationDeletesTheCopyRecordsMatchingTheVersionText) {
  struct Case {
    const char* versionPrefix;
    bool removesNet20;
    bool removesNet40;
  };
  for (const Case& c : {Case{"9", false, false}, Case{"", true, true}, Case{"10.1.6", true, true},
                        Case{"10.1.6.4", false, true}, Case{"10.1.6.2.0", false, false}}) {
    SCOPED_TRACE(c.versionPrefix);
    platform::standin::ResetRegistry();
    RegisterEverything();

    EXPECT_EQ(RemoveRegistration(c.versionPrefix), ERROR_SUCCESS);
    EXPECT_EQ(HasCopyValue("10.1.6.DEF.2"), !c.removesNet20);
    EXPECT_EQ(HasCopyValue("10.1.6.DEF.4"), !c.removesNet40);
    // The AssemblyFolders value goes whatever the version text; nothing else there or below the copies does.
    EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFolders, "Ovk.Data.Zt4"));
    EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFolders, "Other"));
    EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kCopies + "\\Zt4Copy1", "Zt4 Path Name"));
    EXPECT_EQ(OpenRegistryHandleCount(), 0);
  }
}

TEST_F(AssemblyFoldersTest, RemoveRegistrationReportsOnlyTheAssemblyFoldersStep) {
  RegisterEverything();
  ASSERT_EQ(RemoveRegistration(""), ERROR_SUCCESS);
  EXPECT_EQ(RemoveRegistration(""), ERROR_FILE_NOT_FOUND);  // the value is gone now

  platform::standin::ResetRegistry();
  RegisterEverything();
  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kFolders);
  EXPECT_EQ(RemoveRegistration("10.1.6"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(HasCopyValue("10.1.6.DEF.2"));  // the copy records were handled all the same
  EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFolders, "Ovk.Data.Zt4"));

  platform::standin::ResetRegistry();
  platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopies, "10.1.6.DEF.4", "Zt4Copy1");
  EXPECT_EQ(RemoveRegistration(""), ERROR_FILE_NOT_FOUND);  // no AssemblyFolders key at all
  EXPECT_FALSE(HasCopyValue("10.1.6.DEF.4"));

  // Without the copies key (or the rights to it), only the AssemblyFolders value counts.
  platform::standin::ResetRegistry();
  RegisterEverything();
  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kCopies);
  EXPECT_EQ(RemoveRegistration(""), ERROR_SUCCESS);
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.2"));
  EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFolders, "Ovk.Data.Zt4"));
}

}  // namespace
