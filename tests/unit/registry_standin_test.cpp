// The stand-in registry's Win32 contract: names, buffer sizes, access rights, deletion,
// handles and injected faults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"

namespace {

using namespace platform;
using namespace platform::standin;

class RegistryStandInTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRegistry(); }
  void TearDown() override { ResetRegistry(); }

  static HKEY Open(const char* path, REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS) << path;
    return key;
  }

  static std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      const LONG status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status != ERROR_SUCCESS) {
        EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
        return names;
      }
      names.emplace_back(name, length);
    }
  }

  static std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      const LONG status = RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status != ERROR_SUCCESS) {
        EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
        return names;
      }
      names.emplace_back(name, length);
    }
  }
};

TEST_F(RegistryStandInTest, NamesCompareCaseInsensitivelyAndKeepTheirSpelling) {
  SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4", "Zt4 Path Name", "C:\\P");
  UniqueRegKey key(Open("software\\OVK\\zT4", KEY_READ));
  char data[16];
  DWORD size = sizeof data;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExA(key.get(), "ZT4 PATH NAME", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 5u);  // stored with its terminator
  EXPECT_STREQ(data, "C:\\P");

  // Subkeys in case-insensitive order, as first written; values in creation order.
  for (const char* name : {"b", "C", "a", "B"}) CreateRegistryKey(HKEY_LOCAL_MACHINE, std::string("S\\") + name);
  for (const char* name : {"zeta", "Alpha", "mid", "ALPHA"}) SetRegistryString(HKEY_LOCAL_MACHINE, "S", name, "x");
  UniqueRegKey s(Open("S", KEY_READ));
  EXPECT_EQ(SubkeyNames(s.get()), (std::vector<std::string>{"a", "b", "C"}));
  EXPECT_EQ(ValueNames(s.get()), (std::vector<std::string>{"zeta", "Alpha", "mid"}));

  // Empty and null subkeys open the key itself; a root is reachable the same way.
  HKEY self = nullptr;
  ASSERT_EQ(RegOpenKeyExA(s.get(), "", 0, KEY_READ, &self), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(self), (std::vector<std::string>{"a", "b", "C"}));
  EXPECT_EQ(RegCloseKey(self), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &self), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(self), (std::vector<std::string>{"S", "SOFTWARE"}));
  EXPECT_EQ(RegCloseKey(self), ERROR_SUCCESS);

  HKEY missing = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "S\\d", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, reinterpret_cast<HKEY>(0x1));  // untouched on failure
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\S", 0, KEY_READ, &missing), 161);  // ERROR_BAD_PATHNAME
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "S", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  const HKEY classesRoot = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u));
  EXPECT_EQ(RegOpenKeyExA(classesRoot, "S", 0, KEY_READ, &missing), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryStandInTest, ANameOrValueThatDoesNotFitGivesMoreData) {
  SetRegistryString(HKEY_LOCAL_MACHINE, "K", "four", "abc");  // 4 bytes with the terminator
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "K\\five5");
  UniqueRegKey key(Open("K", KEY_READ));

  char name[8] = "unused";
  DWORD length = 5;  // "five5" needs 6 with its terminator
  EXPECT_EQ(RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_STREQ(name, "unused");
  length = 6;
  EXPECT_EQ(RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "five5");
  EXPECT_EQ(length, 5u);

  length = 4;
  EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  length = 5;
  EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "four");
  EXPECT_EQ(length, 4u);

  BYTE data[8] = {'z', 'z', 'z', 'z', 0};
  DWORD size = 3;
  EXPECT_EQ(RegQueryValueExA(key.get(), "four", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);  // the size needed
  EXPECT_STREQ(reinterpret_cast<char*>(data), "zzzz");
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key.get(), "four", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "abc");
  size = 0;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), "four", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(RegQueryValueExA(key.get(), "absent", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);

  size = 2;
  length = sizeof name;
  EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegEnumKeyExA(key.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumValueA(key.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryStandInTest, TheAccessAKeyWasOpenedWithIsEnforced) {
  SetRegistryString(HKEY_LOCAL_MACHINE, "K", "v", "x");
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "K\\sub");
  const BYTE text[] = "y";
  char name[16];
  DWORD length = sizeof name;

  UniqueRegKey query(Open("K", KEY_QUERY_VALUE | KEY_WOW64_64KEY));
  EXPECT_EQ(RegSetValueExA(query.get(), "v", 0, REG_SZ, text, 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(query.get(), "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegEnumKeyExA(query.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegEnumValueA(query.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);

  UniqueRegKey set(Open("K", KEY_SET_VALUE));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(set.get(), "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegSetValueExA(set.get(), "V", 0, REG_SZ, text, 2), ERROR_SUCCESS);
  std::string stored;
  ASSERT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, "K", "v", &stored));
  EXPECT_EQ(stored, "y");

  UniqueRegKey enumerate(Open("K", KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_32KEY));
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(enumerate.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumValueA(enumerate.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);

  // Creating below a handle needs KEY_CREATE_SUB_KEY on it; opening an existing key does not.
  HKEY created = nullptr;
  EXPECT_EQ(RegCreateKeyExA(query.get(), "new", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "K\\new"));
  EXPECT_EQ(RegCreateKeyExA(query.get(), "SUB", 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(created), ERROR_SUCCESS);
}

TEST_F(RegistryStandInTest, CreateMakesParentsAndSetCopiesTheBytesAsGiven) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  UniqueRegKey copies(key);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk"));

  const BYTE raw[] = {'a', 0, 'b'};  // no terminator, an inner NUL: kept exactly
  EXPECT_EQ(RegSetValueExA(copies.get(), "10.1.6.DEF.2", 0, REG_SZ, raw, sizeof raw), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(copies.get(), nullptr, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies", "10.1.6.def.2", &type,
                                &bytes));
  EXPECT_EQ(bytes, std::string("a\0b", 3));
  EXPECT_EQ(type, REG_SZ);
  ASSERT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies", "", &type, &bytes));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_TRUE(bytes.empty());

  HKEY again = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\ovk\\zt4\\installedcopies", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
}

TEST_F(RegistryStandInTest, DeleteRules) {
  SetRegistryString(HKEY_LOCAL_MACHINE, "A\\B\\C", "v", "x");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A\\B"), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A\\X"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Q\\X"), ERROR_FILE_NOT_FOUND);

  UniqueRegKey c(Open("A\\B\\C", KEY_ALL_ACCESS));
  EXPECT_EQ(RegDeleteValueA(c.get(), "V"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(c.get(), "v"), ERROR_FILE_NOT_FOUND);
  SetRegistryString(HKEY_LOCAL_MACHINE, "A\\B\\C", "w", "x");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "a\\b\\c"), ERROR_SUCCESS);  // with its values
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "A\\B\\C"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "A\\B"));

  // The handle still open on the deleted key reports errors; re-creating the key does not revive it.
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "A\\B\\C");
  const BYTE text[] = "y";
  DWORD size = 0;
  EXPECT_NE(RegSetValueExA(c.get(), "v", 0, REG_SZ, text, 2), ERROR_SUCCESS);
  EXPECT_NE(RegQueryValueExA(c.get(), "w", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, "A\\B\\C", "v"));
  EXPECT_EQ(RegCloseKey(c.release()), ERROR_SUCCESS);
}

TEST_F(RegistryStandInTest, HandlesAreCountedAndUnknownOnesRefused) {
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "K");
  EXPECT_EQ(OpenRegistryHandleCount(), 0);
  HKEY first = Open("K", KEY_READ);
  HKEY second = Open("K", KEY_READ);
  EXPECT_NE(first, second);
  EXPECT_EQ(OpenRegistryHandleCount(), 2);
  EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);
  EXPECT_EQ(OpenRegistryHandleCount(), 1);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);  // a predefined key is not counted
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);

  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(first, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
  EXPECT_EQ(OpenRegistryHandleCount(), 0);

  HKEY failed = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "missing", 0, KEY_READ, &failed), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenRegistryHandleCount(), 0);
}

TEST_F(RegistryStandInTest, InjectedFaults) {
  SetRegistryString(HKEY_LOCAL_MACHINE, "P\\Locked", "v", "x");
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "P\\Open");
  SetRegistryString(HKEY_LOCAL_MACHINE, "P", "v", "x");
  DenyRegistryAccess(HKEY_LOCAL_MACHINE, "p\\locked");
  DenyRegistryAccess(HKEY_LOCAL_MACHINE, "P\\Later");

  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "P\\Locked", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "P\\LOCKED", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "P\\Later", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "P\\Later"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "P\\Locked"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenRegistryHandleCount(), 0);

  UniqueRegKey p(Open("P", KEY_READ));
  HKEY viaParent = nullptr;
  EXPECT_EQ(RegOpenKeyExA(p.get(), "Locked", 0, KEY_READ, &viaParent), ERROR_ACCESS_DENIED);

  FailRegistryEnumeration(HKEY_LOCAL_MACHINE, "P", 1, 1234);
  char name[32];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(p.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(p.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), 1234);
  length = sizeof name;
  EXPECT_EQ(RegEnumValueA(p.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), 1234);

  ResetRegistry();  // faults go with the registry
  SetRegistryString(HKEY_LOCAL_MACHINE, "P\\Locked", "v", "x");
  UniqueRegKey locked(Open("P\\Locked", KEY_READ));
  EXPECT_TRUE(locked);
}

}  // namespace
