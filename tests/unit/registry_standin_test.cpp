// What the stand-in registry promises beyond the contract it shares with Win32
// (tests/platform/registry_contract_test.cpp): its enumeration order, the bytes it keeps,
// handles that are counted and die with their key, and the faults tests inject.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"

namespace {

using namespace platform;
using namespace platform::standin;

LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* length) {
  return RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}
LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* length) {
  return RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

class RegistryStandInTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRegistry(); }
  void TearDown() override { ResetRegistry(); }

  static HKEY Open(const char* path, REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS) << path;
    return key;
  }

  // The subkey (or value) names of `key` in enumeration order.
  static std::vector<std::string> Names(HKEY key, LONG (*enumerate)(HKEY, DWORD, char*, DWORD*)) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      const LONG status = enumerate(key, index, name, &length);
      if (status != ERROR_SUCCESS) {
        EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
        return names;
      }
      names.emplace_back(name, length);
    }
  }
};

TEST_F(RegistryStandInTest, EnumerationOrderRootsAndBadPaths) {
  // Subkeys in case-insensitive order, as first written; values in creation order.
  for (const char* name : {"b", "C", "a", "B"}) CreateRegistryKey(HKEY_LOCAL_MACHINE, std::string("S\\") + name);
  for (const char* name : {"zeta", "Alpha", "mid", "ALPHA"}) SetRegistryString(HKEY_LOCAL_MACHINE, "S", name, "x");
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
  UniqueRegKey s(Open("S", KEY_READ));
  EXPECT_EQ(Names(s.get(), EnumKey), (std::vector<std::string>{"a", "b", "C"}));
  EXPECT_EQ(Names(s.get(), EnumValue), (std::vector<std::string>{"zeta", "Alpha", "mid"}));

  // A null subkey opens the key itself, a root too (the empty one is in the shared contract).
  UniqueRegKey self;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, self.put()), ERROR_SUCCESS);
  EXPECT_EQ(Names(self.get(), EnumKey), (std::vector<std::string>{"S", "SOFTWARE"}));

  HKEY missing = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "S\\d", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, reinterpret_cast<HKEY>(0x1));  // untouched on failure
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\S", 0, KEY_READ, &missing), 161);  // ERROR_BAD_PATHNAME
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "S", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  const HKEY classesRoot = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u));
  EXPECT_EQ(RegOpenKeyExA(classesRoot, "S", 0, KEY_READ, &missing), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryStandInTest, BuffersBytesAndRightsInDetail) {
  SetRegistryString(HKEY_LOCAL_MACHINE, "K", "four", "abc");  // 4 bytes with the terminator
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "K\\five5");
  UniqueRegKey key(Open("K", KEY_READ));

  // A buffer that is too small is left as it was.
  char name[8] = "unused";
  DWORD length = 5;
  EXPECT_EQ(EnumKey(key.get(), 0, name, &length), ERROR_MORE_DATA);
  EXPECT_STREQ(name, "unused");
  BYTE data[8] = {'z', 'z', 'z', 'z', 0};
  DWORD size = 3;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), "four", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "zzzz");
  size = 2;
  length = sizeof name;
  EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);

  // Values keep their bytes exactly: no terminator added, an inner NUL kept, empty data.
  const BYTE raw[] = {'a', 0, 'b'};
  UniqueRegKey set(Open("K", KEY_SET_VALUE | KEY_WOW64_64KEY));  // the view flags change nothing
  EXPECT_EQ(RegSetValueExA(set.get(), "raw", 0, REG_SZ, raw, sizeof raw), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(set.get(), nullptr, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  std::string bytes;
  ASSERT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, "K", "RAW", &type, &bytes));
  EXPECT_EQ(bytes, std::string("a\0b", 3));
  EXPECT_EQ(type, REG_SZ);
  ASSERT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, "K", "", &type, &bytes));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_TRUE(bytes.empty());

  // KEY_QUERY_VALUE enumerates values, KEY_ENUMERATE_SUB_KEYS does not; creating below a
  // handle needs KEY_CREATE_SUB_KEY, opening an existing key that way does not.
  UniqueRegKey query(Open("K", KEY_QUERY_VALUE));
  UniqueRegKey enumerate(Open("K", KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_32KEY));
  length = sizeof name;
  EXPECT_EQ(EnumValue(query.get(), 0, name, &length), ERROR_SUCCESS);
  EXPECT_EQ(EnumValue(enumerate.get(), 0, name, &length), ERROR_ACCESS_DENIED);
  HKEY created = nullptr;
  EXPECT_EQ(RegCreateKeyExA(query.get(), "new", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "K\\new"));
  EXPECT_EQ(RegCreateKeyExA(query.get(), "FIVE5", 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(created), ERROR_SUCCESS);
}

TEST_F(RegistryStandInTest, HandlesAreCountedAndDieWithTheirKey) {
  SetRegistryString(HKEY_LOCAL_MACHINE, "A\\B\\C", "w", "x");
  EXPECT_EQ(OpenRegistryHandleCount(), 0);
  HKEY first = Open("A\\B", KEY_READ);
  HKEY c = Open("A\\B\\C", KEY_ALL_ACCESS);
  EXPECT_NE(first, c);
  EXPECT_EQ(OpenRegistryHandleCount(), 2);
  EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
  EXPECT_EQ(OpenRegistryHandleCount(), 1);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);  // a predefined key is not counted
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  HKEY failed = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "missing", 0, KEY_READ, &failed), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenRegistryHandleCount(), 1);

  // The handle still open on a deleted key reports errors; re-creating the key does not revive it.
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A\\B\\C"), ERROR_SUCCESS);
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "A\\B\\C");
  const BYTE text[] = "y";
  DWORD size = 0;
  EXPECT_NE(RegSetValueExA(c, "v", 0, REG_SZ, text, 2), ERROR_SUCCESS);
  EXPECT_NE(RegQueryValueExA(c, "w", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, "A\\B\\C", "v"));
  EXPECT_EQ(RegCloseKey(c), ERROR_SUCCESS);
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
  EXPECT_EQ(EnumKey(p.get(), 0, name, &length), ERROR_SUCCESS);
  length = sizeof name;
  EXPECT_EQ(EnumKey(p.get(), 1, name, &length), 1234);
  length = sizeof name;
  EXPECT_EQ(EnumValue(p.get(), 1, name, &length), 1234);

  ResetRegistry();  // faults go with the registry
  SetRegistryString(HKEY_LOCAL_MACHINE, "P\\Locked", "v", "x");
  UniqueRegKey locked(Open("P\\Locked", KEY_READ));
  EXPECT_TRUE(locked);
}

}  // namespace
