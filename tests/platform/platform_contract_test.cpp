// What the tool relies on from the platform layer, through the portable calls only. Built into
// the host tests (against the stand-in) and the Windows platform tests (against Win32 under
// Wine): where the two disagree, the stand-in is wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

using platform::UniqueRegKey;
namespace fs = std::filesystem;
constexpr char kParent[] = "Software\\Zt4gacPlatformTest";

// Each test works below HKCU\Software\Zt4gacPlatformTest\<random> and in a fresh temporary
// directory, both removed at the end, so a real system keeps nothing of the run.
class PlatformContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string id = std::to_string(std::random_device{}());
    sandbox_ = std::string(kParent) + "\\" + id;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, sandbox_, &sandboxKey_), ERROR_SUCCESS);
    fs::create_directories(directory_ = fs::temp_directory_path() / ("zt4gac contract " + id) / "Long Directory");
    std::ofstream(directory_ / "fusion.dll") << "MZ and no module";
  }
  void TearDown() override {
    sandboxKey_.reset();
    DeleteTree(sandbox_);
    (void)platform::RegDeleteKeyA(HKEY_CURRENT_USER, kParent);  // fails while another run uses it
    fs::remove_all(directory_.parent_path());
  }

  static LONG Create(HKEY parent, const std::string& path, UniqueRegKey* key, DWORD* disposition = nullptr) {
    return platform::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                     nullptr, key->put(), disposition);
  }
  LONG Open(const std::string& relative, REGSAM access, UniqueRegKey* key) const {
    return platform::RegOpenKeyExA(sandboxKey_.get(), relative.c_str(), 0, access, key->put());
  }
  void SetString(const std::string& relative, const std::string& name, const std::string& text) const {
    UniqueRegKey key;
    ASSERT_EQ(Create(sandboxKey_.get(), relative, &key), ERROR_SUCCESS);
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    ASSERT_EQ(platform::RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, bytes, DWORD(text.size() + 1)), 0);
  }
  // RegDeleteKeyA takes leaves only: the subkeys go first.
  static void DeleteTree(const std::string& path) {
    char name[256];
    for (DWORD length = sizeof name;; length = sizeof name) {
      UniqueRegKey key;
      if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
          platform::RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      DeleteTree(path + "\\" + name);
    }
    EXPECT_EQ(platform::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS) << path;
  }

  std::string sandbox_;
  UniqueRegKey sandboxKey_;
  fs::path directory_;
};

TEST_F(PlatformContractTest, KeysAreCreatedOpenedAndDeletedWhateverTheCaseOfTheirNames) {
  for (const auto& [path, created] : {std::pair{"Ovk\\Zt4\\Copies", true}, {"OVK\\zt4\\copies", false}}) {
    UniqueRegKey key;
    DWORD disposition = 0;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, sandbox_ + "\\" + path, &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY)) << path;
  }
  SetString("ovk\\ZT4\\Copies", "Value", "x");
  // In this order; a key path is deleted from the root, a value name in Ovk\Zt4\Copies.
  struct Row { bool isKey; const char* name; LONG code; };
  const Row rows[] = {{true, "Ovk\\Zt4", ERROR_ACCESS_DENIED},  // it has a subkey
                      {true, "Ovk\\Absent", ERROR_FILE_NOT_FOUND},   {false, "VALUE", ERROR_SUCCESS},
                      {false, "Value", ERROR_FILE_NOT_FOUND},        {true, "ovk\\zt4\\copies", ERROR_SUCCESS},
                      {true, "Ovk\\Zt4", ERROR_SUCCESS}};
  for (const Row& row : rows) {
    UniqueRegKey copies;
    const LONG code = row.isKey ? platform::RegDeleteKeyA(HKEY_CURRENT_USER, (sandbox_ + "\\" + row.name).c_str())
                      : Open("Ovk\\Zt4\\Copies", KEY_SET_VALUE, &copies) != ERROR_SUCCESS
                          ? -1
                          : platform::RegDeleteValueA(copies.get(), row.name);
    EXPECT_EQ(code, row.code) << row.name;
  }
  UniqueRegKey gone;
  EXPECT_EQ(Open("Ovk\\Zt4\\Copies", KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(gone);  // nothing to close
}

// The boundaries the readers depend on: a name fits only with its terminator, data fits
// exactly, and a 256-byte buffer takes 256 bytes and no more.
TEST_F(PlatformContractTest, NamesAndValuesThatDoNotFitGiveMoreData) {
  SetString("K\\five5", "", "");
  for (const auto& [name, length] : {std::pair{"four", 3}, {"fits", 255}, {"over", 256}}) {
    SetString("K", name, std::string(length, 'x'));
  }
  UniqueRegKey key;
  ASSERT_EQ(Open("K", KEY_READ, &key), ERROR_SUCCESS);
  enum Call { kEnumKey, kEnumValue, kQuery };
  struct Row { Call call; DWORD index; const char* value; DWORD size; LONG code; DWORD sizeAfter; };
  const Row rows[] = {{kEnumKey, 0, "", 5, ERROR_MORE_DATA, 5},      {kEnumKey, 0, "", 6, ERROR_SUCCESS, 5},
                      {kEnumKey, 1, "", 6, ERROR_NO_MORE_ITEMS, 6},  {kEnumValue, 0, "", 4, ERROR_MORE_DATA, 4},
                      {kEnumValue, 2, "", 5, ERROR_SUCCESS, 4},      {kEnumValue, 3, "", 5, ERROR_NO_MORE_ITEMS, 5},
                      {kQuery, 0, "four", 3, ERROR_MORE_DATA, 4},    {kQuery, 0, "FOUR", 4, ERROR_SUCCESS, 4},
                      {kQuery, 0, "fits", 256, ERROR_SUCCESS, 256},  {kQuery, 0, "over", 256, ERROR_MORE_DATA, 257},
                      {kQuery, 0, "absent", 256, ERROR_FILE_NOT_FOUND, 256}};
  for (const Row& row : rows) {
    char buffer[256] = {};
    DWORD size = row.size;
    auto* data = reinterpret_cast<BYTE*>(buffer);
    const LONG code =
        row.call == kQuery     ? platform::RegQueryValueExA(key.get(), row.value, nullptr, nullptr, data, &size)
        : row.call == kEnumKey ? platform::RegEnumKeyExA(key.get(), row.index, buffer, &size, nullptr, nullptr, nullptr, nullptr)
                               : platform::RegEnumValueA(key.get(), row.index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(code, row.code) << row.call << " " << row.index << " " << row.value << " " << row.size;
    if (code == ERROR_SUCCESS || code == ERROR_MORE_DATA) {
      EXPECT_EQ(size, row.sizeAfter) << row.call << row.value;
    }
    if (code == ERROR_SUCCESS) {
      EXPECT_EQ(std::string(buffer).size(), row.call == kQuery ? size - 1 : size);
    }
  }
}

TEST_F(PlatformContractTest, AKeyGrantsOnlyTheAccessItWasOpenedWith) {
  SetString("K\\Sub", "", "");
  SetString("K", "v", "x");
  enum Call { kQuery, kSet, kDeleteValue, kEnumKey, kEnumValue };
  struct Row { REGSAM access; Call call; LONG code; };
  const Row rows[] = {{KEY_QUERY_VALUE, kSet, ERROR_ACCESS_DENIED},     {KEY_QUERY_VALUE, kDeleteValue, ERROR_ACCESS_DENIED},
                      {KEY_QUERY_VALUE, kEnumKey, ERROR_ACCESS_DENIED}, {KEY_QUERY_VALUE, kQuery, ERROR_SUCCESS},
                      {KEY_QUERY_VALUE, kEnumValue, ERROR_SUCCESS},     {KEY_SET_VALUE, kQuery, ERROR_ACCESS_DENIED},
                      {KEY_SET_VALUE, kSet, ERROR_SUCCESS},             {KEY_READ, kSet, ERROR_ACCESS_DENIED},
                      {KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, kEnumKey, ERROR_SUCCESS},
                      {KEY_SET_VALUE, kDeleteValue, ERROR_SUCCESS}};
  for (const Row& row : rows) {
    UniqueRegKey key;
    ASSERT_EQ(Open("k", row.access, &key), ERROR_SUCCESS);
    char name[16];
    DWORD size = sizeof name;
    const LONG code =
        row.call == kQuery         ? platform::RegQueryValueExA(key.get(), "v", nullptr, nullptr, nullptr, &size)
        : row.call == kSet         ? platform::RegSetValueExA(key.get(), "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2)
        : row.call == kDeleteValue ? platform::RegDeleteValueA(key.get(), "v")
        : row.call == kEnumKey     ? platform::RegEnumKeyExA(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr)
                                   : platform::RegEnumValueA(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(code, row.code) << row.access << " " << row.call;
  }
}

TEST_F(PlatformContractTest, ShortPathsFilesAndModules) {
  std::string directory = directory_.string();  // Windows-shaped, which the stand-in maps back
  std::replace(directory.begin(), directory.end(), '/', '\\');
  const std::string file = directory + "\\fusion.dll";
  char shortDirectory[MAX_PATH + 1] = {};
  const DWORD length = platform::GetShortPathNameA(directory.c_str(), shortDirectory, sizeof shortDirectory);
  ASSERT_GT(length, 0u);
  ASSERT_EQ(length, std::string(shortDirectory).size());
  struct Row { std::string path; DWORD size; DWORD result; std::string shortPath; };
  const Row rows[] = {{directory + "\\", MAX_PATH + 1, length + 1, shortDirectory + std::string("\\")},
                      {file, MAX_PATH + 1, length + 11, shortDirectory + std::string("\\fusion.dll")},
                      {directory, length, length + 1, ""},  // too small: the size needed, terminator included
                      {directory + "\\absent", MAX_PATH + 1, 0, ""}};
  for (const Row& row : rows) {
    char shortPath[MAX_PATH + 1] = {};
    EXPECT_EQ(platform::GetShortPathNameA(row.path.c_str(), shortPath, row.size), row.result) << row.path;
    if (!row.shortPath.empty()) {
      EXPECT_EQ(shortPath, row.shortPath);
    }
  }
  for (const auto& [path, exists] : {std::pair{file, true}, {shortDirectory + std::string("\\fusion.dll"), true},
                                     {directory, false}, {directory + "\\absent.dll", false}, {std::string(), false}}) {
    EXPECT_EQ(platform::FileExists(path.c_str()), exists) << path;  // a directory is not a file
  }
  for (const std::string& path : {file, directory + "\\absent.dll"}) {
    EXPECT_EQ(platform::LoadLibraryA(path.c_str()), nullptr) << path;
  }
}

TEST(PlatformContractTextTest, MultiByteToWideCharCountsUnitsAndFailsWhenTheyDoNotFit) {
  struct Row { const char* text; int length; int size; int result; };
  const Row rows[] = {{"Ovk.Data.Zt4", -1, 32, 13},  // through the terminator
                      {"Ovk.Data.Zt4", -1, 0, 13},   // the size query
                      {"abcd", -1, 4, 0},            // no room for the terminator
                      {"abcd", 2, 4, 2}};
  for (const Row& row : rows) {
    WCHAR wide[32] = {};
    const int result = platform::MultiByteToWideChar(CP_ACP, 0, row.text, row.length, row.size > 0 ? wide : nullptr, row.size);
    EXPECT_EQ(result, row.result) << row.text << " " << row.size;
    for (int i = 0; row.size > 0 && i < result; ++i) EXPECT_EQ(wide[i], WCHAR(row.text[i])) << row.text;
  }
}

}  // namespace
