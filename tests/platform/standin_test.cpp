// What only the stand-in offers: the ZT4GAC_REGISTRY text and file, and the counts tests check
// after each test. How it answers the Win32 calls is the contract test's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/posix/standin.h"
#include "platform/registry.h"

namespace {

namespace standin = platform::standin;

// At start-up, before any test's registry call: the tests never read nor write a developer's
// ZT4GAC_REGISTRY file, whichever test runs first.
[[maybe_unused]] const bool kNoRegistryFile = (standin::ResetRegistry(), true);

const std::string kText = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n\"Path\"=\"C:\\\\Zt4 \\\"1\\\"\"\n"
                          "@=dword:0000002a\n\"Raw\"=hex(3):00,ff\n\n[HKEY_LOCAL_MACHINE\\A\\b]\n\n[HKEY_CURRENT_USER\\C]\n";

TEST(StandInTest, TheRegistryTextAndFile) {
  standin::ResetRegistry();
  ASSERT_TRUE(standin::LoadRegistryText(kText));
  EXPECT_EQ(standin::ExportRegistry(), kText);
  const std::string header = kText.substr(0, kText.find('\n') + 1), start = header + "[HKEY_LOCAL_MACHINE\\N]\n";
  for (const std::string& text : {start + "\"v\"=\"a\\b\"\n", start + "\"v\"=dword:123456789\n", header + "\"v\"=\"x\"\n"})
    EXPECT_FALSE(standin::LoadRegistryText(text)) << text;
  EXPECT_TRUE(standin::LoadRegistryText("\xEF\xBB\xBF" + header + "[-HKEY_LOCAL_MACHINE\\A\\B]\r\n"));
  EXPECT_EQ(standin::ExportRegistry(), kText.substr(0, kText.find("\n[HKEY_LOCAL_MACHINE\\A\\b]")) + "\n[HKEY_CURRENT_USER\\C]\n");

  // Backed by a file: each change is written back, or undone when it cannot be; a malformed file is never written.
  const auto directory = std::filesystem::temp_directory_path() / ("zt4gac standin " + std::to_string(::getpid())),
             file = directory / "registry.reg";
  const auto fileText = [&file] { return (std::ostringstream() << std::ifstream(file).rdbuf()).str(); };
  std::filesystem::create_directories(directory);
  std::ofstream(file) << kText;
  ASSERT_TRUE(standin::LoadRegistryFile(file.string()));
  platform::UniqueRegKey key;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegDeleteValueA(key.get(), "Raw"), ERROR_SUCCESS);
  const std::string changed = standin::ExportRegistry();
  EXPECT_EQ(fileText(), changed);
  std::filesystem::remove_all(directory);  // the next write-back fails
  EXPECT_NE(platform::RegDeleteValueA(key.get(), "Path"), ERROR_SUCCESS);
  EXPECT_EQ(standin::ExportRegistry(), changed);
  key.reset();
  std::filesystem::create_directories(directory);
  std::ofstream(file) << "REGEDIT4\n";
  EXPECT_FALSE(standin::LoadRegistryFile(file.string()));
  standin::SetRegistryValue(HKEY_LOCAL_MACHINE, "A", "v", REG_SZ, std::string("x", 2));
  EXPECT_EQ(fileText(), "REGEDIT4\n");
  standin::ResetRegistry();
  std::filesystem::remove_all(directory);
}

}  // namespace
