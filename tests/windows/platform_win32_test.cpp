// Windows only: the file, module and text calls of the platform layer against the real
// system (Wine's, in the test run), where the stand-in's answers cannot stand in for them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/modules.h"
#include "platform/text.h"

namespace {

std::string WindowsDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = platform::GetWindowsDirectoryA(buffer, sizeof buffer);
  return std::string(buffer, length);
}

// A fresh directory below the user's temporary directory, removed with what the test put in it.
class ScratchDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathA(sizeof temp, temp), 0u);
    root_ = std::string(temp) + "zt4gac_platform_" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryA(root_.c_str(), nullptr)) << root_;
    created_.push_back(root_);
  }

  void TearDown() override {
    for (auto path = created_.rbegin(); path != created_.rend(); ++path) {
      if (!::DeleteFileA(path->c_str())) {
        EXPECT_TRUE(::RemoveDirectoryA(path->c_str())) << *path;
      }
    }
  }

  std::string MakeDirectory(const std::string& relative) {
    const std::string path = root_ + "\\" + relative;
    EXPECT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path;
    created_.push_back(path);
    return path;
  }

  std::string MakeFile(const std::string& relative, const std::string& content) {
    const std::string path = root_ + "\\" + relative;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    ::CloseHandle(file);
    created_.push_back(path);
    return path;
  }

  std::string root_;
  std::vector<std::string> created_;
};

TEST(WindowsDirectoryTest, IsTheSystemsAndReportsTheSizeNeeded) {
  const std::string windows = WindowsDirectory();
  EXPECT_EQ(platform::_stricmp(windows.c_str(), "C:\\windows"), 0) << windows;

  char small[4] = "abc";
  EXPECT_EQ(platform::GetWindowsDirectoryA(small, sizeof small), windows.size() + 1);  // with the terminator
  EXPECT_NE(platform::GetFileAttributesA(windows.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(ScratchDirectoryTest, FileExistsForFilesOnlyAndForPathsLongerThan128) {
  const std::string kernel32 = WindowsDirectory() + "\\system32\\kernel32.dll";
  EXPECT_TRUE(platform::FileExists(kernel32.c_str()));
  EXPECT_FALSE(platform::FileExists(WindowsDirectory().c_str()));  // a directory is not a file
  EXPECT_FALSE(platform::FileExists((root_ + "\\missing.dll").c_str()));
  EXPECT_FALSE(platform::FileExists(""));
  EXPECT_EQ(platform::GetFileAttributesA((root_ + "\\missing.dll").c_str()), INVALID_FILE_ATTRIBUTES);

  // Past the 128 characters at which the OpenFile existence test gives up, short of MAX_PATH.
  std::string relative = std::string(80, 'd');
  MakeDirectory(relative);
  relative += "\\" + std::string(80, 'e');
  MakeDirectory(relative);
  const std::string file = MakeFile(relative + "\\Ovk.Data.Zt4.Entity.dll", "x");
  ASSERT_GT(file.size(), 200u);
  ASSERT_LT(file.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_TRUE(platform::FileExists(file.c_str())) << file;
  EXPECT_NE(platform::GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ScratchDirectoryTest, ShortPathNamesAnExistingPathOnly) {
  const std::string directory = MakeDirectory("Installation Home With Spaces");
  const std::string file = MakeFile("Installation Home With Spaces\\Ovk.Data.Zt4.dll", "x");

  char shortPath[MAX_PATH + 1] = {};
  const DWORD length = platform::GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, std::string(shortPath).size());
  // Wine makes an 8.3 name for every long one; a Windows volume with short names turned off
  // would give the long path back.
  EXPECT_LT(length, file.size());
  EXPECT_EQ(std::string(shortPath).find(' '), std::string::npos) << shortPath;
  EXPECT_TRUE(platform::FileExists(shortPath)) << shortPath;

  char small[8] = "abcdefg";
  EXPECT_EQ(platform::GetShortPathNameA(file.c_str(), small, sizeof small), length + 1);  // the size needed
  EXPECT_EQ(platform::GetShortPathNameA((directory + "\\missing.dll").c_str(), shortPath, sizeof shortPath), 0u);
  EXPECT_EQ(platform::GetShortPathNameA((root_ + "\\missing\\a.dll").c_str(), shortPath, sizeof shortPath), 0u);
}

TEST_F(ScratchDirectoryTest, LoadsOnlyModulesAndFindsTheirExports) {
  platform::UniqueModule version(platform::LoadLibraryA((WindowsDirectory() + "\\system32\\version.dll").c_str()));
  ASSERT_TRUE(version);
  EXPECT_NE(platform::GetProcAddress(version.get(), "GetFileVersionInfoSizeA"), nullptr);
  EXPECT_EQ(platform::GetProcAddress(version.get(), "CreateAssemblyCache"), nullptr);
  EXPECT_EQ(platform::FreeLibrary(version.release()), TRUE);

  // A file named like the framework's fusion.dll that is no module, and one that is missing.
  const std::string notAModule = MakeFile("fusion.dll", "MZ but no portable executable");
  EXPECT_EQ(platform::LoadLibraryA(notAModule.c_str()), nullptr);
  EXPECT_EQ(platform::LoadLibraryA((root_ + "\\absent.dll").c_str()), nullptr);
}

TEST(TextTest, MultiByteToWideCharUsesTheAnsiCodePage) {
  // Wine's default ANSI code page, as on a Western European Windows.
  ASSERT_EQ(::GetACP(), 1252u);

  WCHAR wide[32] = {};
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, "Ovk.Data.Zt4", -1, wide, 32), 13);
  EXPECT_EQ(std::wstring(wide), L"Ovk.Data.Zt4");
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, "C:\\M\xFCller", -1, wide, 32), 10);
  EXPECT_EQ(std::wstring(wide), L"C:\\M\u00FCller");

  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, "C:\\M\xFCller", -1, nullptr, 0), 10);  // the size query
  WCHAR small[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, "abcd", -1, small, 4), 0);  // no room for the terminator
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
