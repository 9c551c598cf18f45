// The registry contract the tool relies on, through the portable calls only. Built into the
// host tests (against the stand-in) and into the Windows platform tests (against the real
// registry under Wine), so the stand-in and Win32 are held to the same assertions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_sandbox.h"

namespace {

using platform::UniqueRegKey;

constexpr char kSandboxParent[] = "Software\\Zt4gacPlatformTest";

const BYTE* Bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* length) {
  return platform::RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}
LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* length) {
  return platform::RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

// Every test works below HKCU\Software\Zt4gacPlatformTest\<random>, made fresh and removed
// with everything below it at the end, so a real registry keeps nothing of the run.
class RegistryContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zt4test::PrepareRegistry();
    sandbox_ = std::string(kSandboxParent) + "\\" + std::to_string(std::random_device{}());
    DWORD disposition = 0;
    ASSERT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, sandbox_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, root_.put(), &disposition),
              ERROR_SUCCESS);
    ASSERT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  }

  void TearDown() override {
    root_.reset();
    DeleteTree(sandbox_);
    (void)platform::RegDeleteKeyA(HKEY_CURRENT_USER, kSandboxParent);  // fails while another run uses it
    UniqueRegKey left;
    EXPECT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, sandbox_.c_str(), 0, KEY_READ, left.put()),
              ERROR_FILE_NOT_FOUND);
  }

  // Deletes the key below HKCU and its subkeys, deepest first: RegDeleteKeyA takes leaves only.
  static void DeleteTree(const std::string& path) {
    for (;;) {
      UniqueRegKey key;
      if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
      char name[256];
      DWORD length = sizeof name;
      const LONG status = EnumKey(key.get(), 0, name, &length);
      if (status != ERROR_SUCCESS) break;
      DeleteTree(path + "\\" + name);
    }
    EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS) << path;
  }

  std::string Path(const char* relative) const { return sandbox_ + "\\" + relative; }

  UniqueRegKey Open(const char* relative, REGSAM access) const {
    UniqueRegKey key;
    EXPECT_EQ(platform::RegOpenKeyExA(root_.get(), relative, 0, access, key.put()), ERROR_SUCCESS) << relative;
    return key;
  }

  void Create(const char* relative) const {
    UniqueRegKey key;
    ASSERT_EQ(platform::RegCreateKeyExA(root_.get(), relative, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                        nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  }

  void SetString(const char* relative, const char* name, const std::string& text) const {
    UniqueRegKey key = Open(relative, KEY_SET_VALUE);
    ASSERT_EQ(
        platform::RegSetValueExA(key.get(), name, 0, REG_SZ, Bytes(text.c_str()), static_cast<DWORD>(text.size() + 1)),
        ERROR_SUCCESS);
  }

  std::string sandbox_;
  UniqueRegKey root_;
};

TEST_F(RegistryContractTest, CreateMakesParentsOpensExistingAndNamesIgnoreCase) {
  HKEY created = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, Path("Ovk\\Zt4\\InstalledCopies").c_str(), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created, &disposition),
            ERROR_SUCCESS);
  UniqueRegKey copies(created);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(platform::RegSetValueExA(copies.get(), "10.1.6.DEF.2", 0, REG_SZ, Bytes("Zt4Home1"), 9), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegSetValueExA(copies.get(), "10.1.6.def.2", 0, REG_SZ, Bytes("Zt4Home2"), 9),
            ERROR_SUCCESS);  // the same value, overwritten

  UniqueRegKey again;
  ASSERT_EQ(platform::RegCreateKeyExA(root_.get(), "OVK\\zt4\\installedcopies", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, again.put(), &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

  UniqueRegKey read = Open("ovk\\ZT4\\InstalledCopies", KEY_QUERY_VALUE);
  char data[256];
  DWORD size = sizeof data;
  DWORD type = 0;
  ASSERT_EQ(
      platform::RegQueryValueExA(read.get(), "10.1.6.Def.2", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 9u);  // the text with its terminator
  EXPECT_STREQ(data, "Zt4Home2");

  HKEY missing = nullptr;
  EXPECT_EQ(platform::RegOpenKeyExA(root_.get(), "Ovk\\Absent", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);  // nothing to close
}

// The boundaries the readers of names and values depend on: a name fits only with its
// terminator, data fits exactly, and the 256-byte buffer takes 256 bytes and no more.
TEST_F(RegistryContractTest, ANameOrValueThatDoesNotFitGivesMoreDataAtTheExactBoundary) {
  Create("K\\five5");
  SetString("K", "four", "abc");
  SetString("K", "fits", std::string(255, 'f'));
  SetString("K", "over", std::string(256, 'o'));
  UniqueRegKey key = Open("K", KEY_READ);

  char name[8] = "unused";
  DWORD length = 5;  // "five5" needs 6 with its terminator
  EXPECT_EQ(EnumKey(key.get(), 0, name, &length), ERROR_MORE_DATA);
  length = 6;
  ASSERT_EQ(EnumKey(key.get(), 0, name, &length), ERROR_SUCCESS);
  EXPECT_STREQ(name, "five5");
  EXPECT_EQ(length, 5u);
  length = sizeof name;
  EXPECT_EQ(EnumKey(key.get(), 1, name, &length), ERROR_NO_MORE_ITEMS);

  std::vector<std::string> values;
  for (DWORD index = 0;; ++index) {
    char valueName[8];
    length = 4;  // each of the names needs 5
    ASSERT_EQ(EnumValue(key.get(), index, valueName, &length), index < 3 ? ERROR_MORE_DATA : ERROR_NO_MORE_ITEMS);
    if (index == 3) break;
    length = 5;
    ASSERT_EQ(EnumValue(key.get(), index, valueName, &length), ERROR_SUCCESS);
    EXPECT_EQ(length, 4u);
    values.emplace_back(valueName);
  }
  // Enumeration order is not part of the contract: Windows keeps the order of creation, Wine sorts by name.
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<std::string>{"fits", "four", "over"}));

  BYTE data[256] = {'z', 'z', 'z', 'z', 0};
  DWORD size = 3;
  EXPECT_EQ(platform::RegQueryValueExA(key.get(), "four", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);  // the size needed
  size = 4;
  ASSERT_EQ(platform::RegQueryValueExA(key.get(), "four", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "abc");
  size = 0;
  EXPECT_EQ(platform::RegQueryValueExA(key.get(), "four", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);

  size = sizeof data;
  EXPECT_EQ(platform::RegQueryValueExA(key.get(), "fits", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 256u);
  size = sizeof data;
  EXPECT_EQ(platform::RegQueryValueExA(key.get(), "over", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 257u);
  size = sizeof data;
  EXPECT_EQ(platform::RegQueryValueExA(key.get(), "absent", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryContractTest, TheAccessAKeyWasOpenedWithIsEnforced) {
  Create("K\\sub");
  SetString("K", "v", "x");
  char name[16];
  DWORD length = sizeof name;

  UniqueRegKey query = Open("K", KEY_QUERY_VALUE);
  EXPECT_EQ(platform::RegSetValueExA(query.get(), "v", 0, REG_SZ, Bytes("y"), 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::RegDeleteValueA(query.get(), "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(EnumKey(query.get(), 0, name, &length), ERROR_ACCESS_DENIED);

  UniqueRegKey set = Open("K", KEY_SET_VALUE);
  DWORD size = 0;
  EXPECT_EQ(platform::RegQueryValueExA(set.get(), "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::RegSetValueExA(set.get(), "v", 0, REG_SZ, Bytes("y"), 2), ERROR_SUCCESS);

  UniqueRegKey enumerate = Open("K", KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
  length = sizeof name;
  EXPECT_EQ(EnumKey(enumerate.get(), 0, name, &length), ERROR_SUCCESS);
  char data[4];
  size = sizeof data;
  ASSERT_EQ(platform::RegQueryValueExA(enumerate.get(), "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, "y");
}

TEST_F(RegistryContractTest, DeleteTakesOnlyKeysWithoutSubkeysAndExistingValues) {
  Create("A\\B\\C");
  SetString("A\\B", "v", "x");
  // Windows and Wine refuse a key that still has subkeys in the same way.
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, Path("A\\B").c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, Path("A\\X").c_str()), ERROR_FILE_NOT_FOUND);

  {
    UniqueRegKey b = Open("A\\B", KEY_ALL_ACCESS);
    EXPECT_EQ(platform::RegDeleteValueA(b.get(), "V"), ERROR_SUCCESS);
    EXPECT_EQ(platform::RegDeleteValueA(b.get(), "v"), ERROR_FILE_NOT_FOUND);
    SetString("A\\B", "w", "x");
  }
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, Path("a\\b\\c").c_str()), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, Path("A\\B").c_str()), ERROR_SUCCESS);  // with its value
  HKEY gone = nullptr;
  EXPECT_EQ(platform::RegOpenKeyExA(root_.get(), "A\\B", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  UniqueRegKey a = Open("A", KEY_READ);
  char name[8];
  DWORD length = sizeof name;
  EXPECT_EQ(EnumKey(a.get(), 0, name, &length), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryContractTest, AClosedHandleIsNoLongerUsable) {
  SetString("", "v", "x");
  HKEY key = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExA(root_.get(), "", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(platform::RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(platform::RegCloseKey(key), ERROR_INVALID_HANDLE);
}

}  // namespace
