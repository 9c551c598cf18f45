// The registration operations: the copy records below "InstalledCopies" and the provider's
// AssemblyFolders entry. The fixture checks that every key opened is closed again.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "registry/assembly_folders.h"

#include "product_keys.h"

namespace {

using platform::standin::DenyRegistryAccess;
using platform::standin::RegistryKeyExists;
using platform::standin::RegistryValueExists;


class AssemblyFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::standin::ResetRegistry(); }
  void TearDown() override {
    EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0);
    platform::standin::ResetRegistry();
  }

  // A fresh registry with both copy records, a registered copy's subkey, and the provider's
  // AssemblyFolders entry beside another one.
  static void RegisterEverything() {
    platform::standin::ResetRegistry();
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.2", "Zt4Copy1");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.4", "Zt4Copy1");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey + "\\Zt4Copy1", "Zt4 Path Name", "C:\\P");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", "C:\\P\\bin");
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kFoldersKey, "Other", "C:\\Elsewhere");
  }
  static bool HasCopyValue(const char* name) { return RegistryValueExists(HKEY_LOCAL_MACHINE, kCopiesKey, name); }
  static bool HasFoldersValue() { return RegistryValueExists(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4"); }
};

TEST_F(AssemblyFoldersTest, RecordProviderCopyWritesOrReplacesOneTerminatedString) {
  RecordProviderCopy("10.1.6.DEF.4", "Zt4Other");
  RecordProviderCopy("10.1.6.DEF.2", "Zt4First");
  RecordProviderCopy("10.1.6.DEF.2", "Zt4Home");

  DWORD type = REG_NONE;
  std::string bytes;
  ASSERT_TRUE(platform::standin::ReadRegistryValue(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.2", &type, &bytes));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(bytes, std::string("Zt4Home", 8));  // length + 1 bytes: the NUL is stored
  ASSERT_TRUE(platform::standin::ReadRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.4", &bytes));
  EXPECT_EQ(bytes, "Zt4Other");

  // Still exactly two values: the second call replaced the first rather than adding one.
  platform::UniqueRegKey key;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCopiesKey.c_str(), 0, KEY_READ, key.put()), ERROR_SUCCESS);
  char name[32];
  DWORD nameLength = sizeof name;
  EXPECT_EQ(platform::RegEnumValueA(key.get(), 2, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  platform::standin::ResetRegistry();
  DenyRegistryAccess(HKEY_LOCAL_MACHINE, kCopiesKey);
  RecordProviderCopy("10.1.6.DEF.2", "Zt4Home");
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kCopiesKey));
}

TEST_F(AssemblyFoldersTest, ClearAssemblyFoldersDeletesOnlyALeafKeyItMayOpen) {
  const std::string parent = "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders";
  RegisterEverything();
  ClearAssemblyFolders();
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kFoldersKey));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, parent));
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.2"));
  ClearAssemblyFolders();  // absent now: nothing to do, nothing else touched
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, parent));

  RegisterEverything();
  platform::standin::CreateRegistryKey(HKEY_LOCAL_MACHINE, kFoldersKey + "\\Nested");
  ClearAssemblyFolders();
  EXPECT_TRUE(HasFoldersValue());
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kFoldersKey + "\\Nested"));

  RegisterEverything();
  DenyRegistryAccess(HKEY_LOCAL_MACHINE, kFoldersKey);
  ClearAssemblyFolders();
  EXPECT_TRUE(HasFoldersValue());
}

// Which copy records a version text selects is proven by the uninstall command's tests; here,
// what else the removal touches and what it reports.
TEST_F(AssemblyFoldersTest, RemoveRegistrationTouchesNothingElseAndReportsOnlyTheAssemblyFoldersStep) {
  RegisterEverything();
  ASSERT_EQ(RemoveRegistration("10.1.6.4"), ERROR_SUCCESS);
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.2"));
  EXPECT_FALSE(HasCopyValue("10.1.6.DEF.4"));
  EXPECT_FALSE(HasFoldersValue());
  EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFoldersKey, "Other"));
  EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kCopiesKey + "\\Zt4Copy1", "Zt4 Path Name"));
  EXPECT_EQ(RemoveRegistration(""), ERROR_FILE_NOT_FOUND);  // the value is gone; the records still go
  EXPECT_FALSE(HasCopyValue("10.1.6.DEF.2"));

  RegisterEverything();
  DenyRegistryAccess(HKEY_LOCAL_MACHINE, kFoldersKey);
  EXPECT_EQ(RemoveRegistration("10.1.6"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(HasCopyValue("10.1.6.DEF.2"));  // the copy records were handled all the same
  EXPECT_TRUE(HasFoldersValue());

  platform::standin::ResetRegistry();
  platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, "10.1.6.DEF.4", "Zt4Copy1");
  EXPECT_EQ(RemoveRegistration(""), ERROR_FILE_NOT_FOUND);  // no AssemblyFolders key at all
  EXPECT_FALSE(HasCopyValue("10.1.6.DEF.4"));

  // Without the rights to the copies key, only the AssemblyFolders value counts.
  RegisterEverything();
  DenyRegistryAccess(HKEY_LOCAL_MACHINE, kCopiesKey);
  EXPECT_EQ(RemoveRegistration(""), ERROR_SUCCESS);
  EXPECT_TRUE(HasCopyValue("10.1.6.DEF.2"));
  EXPECT_FALSE(HasFoldersValue());
}

}  // namespace
