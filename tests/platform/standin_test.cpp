// What only the stand-in offers: the ZT4GAC_REGISTRY text and file, and the hooks tests steer
// it by. How it answers the Win32 calls is the contract test's (platform_contract_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/debug.h"
#include "platform/modules.h"
#include "platform/posix/standin.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

using namespace platform::standin;  // NOLINT(google-build-using-namespace): the hooks under test
using platform::UniqueRegKey;
namespace fs = std::filesystem;

// Before the first test, so before any registry call: a developer's ZT4GAC_REGISTRY file is
// never read nor written by the tests.
struct NoRegistryFile : ::testing::Environment {
  void SetUp() override { ResetRegistry(); }
};
[[maybe_unused]] const auto* const kNoRegistryFile = ::testing::AddGlobalTestEnvironment(new NoRegistryFile);

const std::string kHeader = "Windows Registry Editor Version 5.00\n";
const std::string kValue("x", 2);  // a REG_SZ "x" with its terminator

std::string FileText(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

TEST(StandInTest, RegistryTextIsReadAsWrittenAndRefusedWholeWhenMalformed) {
  ResetRegistry();
  const std::string text = kHeader + "\n[HKEY_LOCAL_MACHINE\\A]\n\"Path\"=\"C:\\\\Zt4 \\\"1\\\"\"\n@=dword:0000002a\n" +
                           "\"Raw\"=hex(3):00,ff\n\n[HKEY_LOCAL_MACHINE\\A\\b]\n\n[HKEY_CURRENT_USER\\C]\n";
  ASSERT_TRUE(LoadRegistryText(text));
  EXPECT_EQ(ExportRegistry(), text);
  std::string path;
  EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, "a", "PATH", &path));
  EXPECT_EQ(path, "C:\\Zt4 \"1\"");
  EXPECT_TRUE(LoadRegistryText("\xEF\xBB\xBF" + kHeader + "[-HKEY_LOCAL_MACHINE\\A\\B]\r\n"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "A\\B"));
  const std::string before = ExportRegistry();
  const std::string start = kHeader + "[HKEY_LOCAL_MACHINE\\N]\n";  // valid, and yet nothing of it may be merged
  const std::string malformed[] = {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\N]\n", "[HKEY_LOCAL_MACHINE\\N]\n",
                                   kHeader + "\"v\"=\"x\"\n", kHeader + "[HKEY_USERS\\N]\n", start + "\"v\"=\"a\\b\"\n",
                                   start + "\"v\"=\"x\n", start + "\"v\"=dword:123456789\n", start + "\"v\"=hex:0\n",
                                   start + "[-HKEY_LOCAL_MACHINE]\n"};
  for (const std::string& bad : malformed) {
    EXPECT_FALSE(LoadRegistryText(bad)) << bad;
    EXPECT_EQ(ExportRegistry(), before) << bad;
  }
}

TEST(StandInTest, AFileBackedRegistryWritesEveryChangeBackOrUndoesIt) {
  const fs::path directory = fs::temp_directory_path() / ("zt4gac standin " + std::to_string(std::random_device{}()));
  const fs::path file = directory / "registry.reg";
  fs::create_directories(directory);
  std::ofstream(file) << kHeader << "[HKEY_LOCAL_MACHINE\\A]\n";
  ASSERT_TRUE(LoadRegistryFile(file.string()));
  UniqueRegKey key;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
  const auto* bytes = reinterpret_cast<const BYTE*>(kValue.data());
  EXPECT_EQ(platform::RegSetValueExA(key.get(), "v", 0, REG_SZ, bytes, 2), ERROR_SUCCESS);
  EXPECT_EQ(FileText(file), kHeader + "\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n");
  fs::remove_all(directory);  // no write-back from here on: each change is undone and reported
  EXPECT_NE(platform::RegSetValueExA(key.get(), "w", 0, REG_SZ, bytes, 2), ERROR_SUCCESS);
  EXPECT_NE(platform::RegDeleteValueA(key.get(), "v"), ERROR_SUCCESS);
  EXPECT_NE(platform::RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A"), ERROR_SUCCESS);
  EXPECT_EQ(ExportRegistry(), kHeader + "\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n");
  key.reset();
  fs::create_directories(directory);
  std::ofstream(file) << "REGEDIT4\n";  // malformed: an empty registry, and the file is never written
  EXPECT_FALSE(LoadRegistryFile(file.string()));
  SetRegistryValue(HKEY_LOCAL_MACHINE, "A", "v", REG_SZ, kValue);
  EXPECT_EQ(FileText(file), "REGEDIT4\n");
  ResetRegistry();
  fs::remove_all(directory);
}

TEST(StandInTest, HooksInjectFaultsAndCountWhatIsOpen) {
  ResetRegistry();
  SetRegistryValue(HKEY_LOCAL_MACHINE, "A\\B", "v", REG_SZ, kValue);
  DenyRegistryAccess(HKEY_LOCAL_MACHINE, "a\\b");
  FailRegistryEnumeration(HKEY_LOCAL_MACHINE, "A", 0, 1234);
  UniqueRegKey key;
  EXPECT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A\\B", 0, KEY_READ, key.put()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A\\B"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  EXPECT_EQ(OpenRegistryHandleCount(), 1);
  char name[8];
  DWORD length = sizeof name;
  EXPECT_EQ(platform::RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), 1234);
  EXPECT_EQ(platform::RegEnumValueA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), 1234);
  key.reset();
  EXPECT_EQ(OpenRegistryHandleCount(), 0);

  const int modules = LoadedModuleCount();
  const HMODULE libc = platform::LoadLibraryA("libc.so.6");
  EXPECT_EQ(LoadedModuleCount(), modules + 1);
  EXPECT_EQ(platform::FreeLibrary(libc), TRUE);
  EXPECT_EQ(LoadedModuleCount(), modules);
  platform::OutputDebugStringA("Invalid Installation Name");
  platform::OutputDebugStringA("Zt4Home");
  EXPECT_EQ(TakeDebugOutput(), "Invalid Installation NameZt4Home");
  EXPECT_EQ(TakeDebugOutput(), "");
}

TEST(StandInTest, TheAnsiCodePageIsUtf8) {
  for (const auto& [text, wide] : {std::pair{"M\xC3\xBCller", u"M\u00FCller"}, {"\xF0\x9F\x98\x80", u"\U0001F600"},
                                   {"a\xFF\xC3", u"a\uFFFD\uFFFD"}}) {  // an invalid byte each
    WCHAR converted[8] = {};
    EXPECT_GT(platform::MultiByteToWideChar(CP_ACP, 0, text, -1, converted, 8), 0);
    EXPECT_EQ(std::u16string(converted), wide);
  }
}

}  // namespace
