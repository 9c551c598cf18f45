// The stand-in's file, system-directory and module services.
#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/modules.h"

namespace {

std::string Backslashed(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// A fresh directory with its canonical path, so the expected short names are exact.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zt4gac_files_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(pattern, resolved), nullptr);
    root_ = resolved;
  }
  void TearDown() override {
    ::unsetenv("ZT4GAC_WINDOWS_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  std::string MakeFile(const std::string& relative, const std::string& content = "x") {
    const std::string path = root_ + "/" + relative;
    std::ofstream(path) << content;
    return path;
  }

  std::string root_;
};

TEST_F(FilesTest, ShortPathIsTheCanonicalPathOfAnExistingPath) {
  ASSERT_EQ(::mkdir((root_ + "/sub").c_str(), 0700), 0);
  const std::string file = MakeFile("sub/a.dll");

  char buffer[PATH_MAX] = {};
  const std::string winding = Backslashed(root_ + "/sub/../sub/./a.dll");
  EXPECT_EQ(platform::GetShortPathNameA(winding.c_str(), buffer, sizeof buffer), file.size());
  EXPECT_EQ(std::string(buffer), file);
  EXPECT_EQ(platform::GetShortPathNameA(Backslashed(root_ + "/sub\\").c_str(), buffer, sizeof buffer),
            root_.size() + 4);
  EXPECT_EQ(std::string(buffer), root_ + "/sub");

  char small[4] = "abc";
  EXPECT_EQ(platform::GetShortPathNameA(file.c_str(), small, sizeof small), file.size() + 1);
  EXPECT_STREQ(small, "abc");  // untouched when it does not fit
  EXPECT_EQ(platform::GetShortPathNameA((root_ + "/missing").c_str(), buffer, sizeof buffer), 0u);
}

TEST_F(FilesTest, FileExistsOnlyForFilesUpToMaxPath) {
  const std::string file = MakeFile("a.dll");
  EXPECT_TRUE(platform::FileExists(file.c_str()));
  EXPECT_TRUE(platform::FileExists(Backslashed(file).c_str()));
  EXPECT_FALSE(platform::FileExists(root_.c_str()));  // a directory is not a file
  EXPECT_FALSE(platform::FileExists((root_ + "/b.dll").c_str()));
  EXPECT_FALSE(platform::FileExists(""));
  EXPECT_EQ(platform::GetFileAttributesA((root_ + "/b.dll").c_str()), INVALID_FILE_ATTRIBUTES);

  // An existing file whose path is exactly MAX_PATH - 1 characters: the longest a
  // Windows ANSI path can be, and far past the 128 at which OpenFile gives up.
  std::string directory = root_ + "/" + std::string(100, 'd');
  ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
  const size_t nameLength = MAX_PATH - 1 - directory.size() - 1;
  ASSERT_GT(nameLength, 4u);
  const std::string longPath = MakeFile(std::string(100, 'd') + "/" + std::string(nameLength - 4, 'f') + ".dll");
  ASSERT_EQ(longPath.size(), MAX_PATH - 1);
  EXPECT_TRUE(platform::FileExists(Backslashed(longPath).c_str()));
}

TEST_F(FilesTest, WindowsDirectoryComesFromTheEnvironment) {
  char buffer[MAX_PATH + 1] = {};
  ::setenv("ZT4GAC_WINDOWS_DIR", "/tmp/w/Windows", 1);
  EXPECT_EQ(platform::GetWindowsDirectoryA(buffer, sizeof buffer), 14u);
  EXPECT_STREQ(buffer, "/tmp/w/Windows");
  char small[14] = "untouched";
  EXPECT_EQ(platform::GetWindowsDirectoryA(small, sizeof small), 15u);  // the size needed, terminator included
  EXPECT_STREQ(small, "untouched");

  ::unsetenv("ZT4GAC_WINDOWS_DIR");
  EXPECT_EQ(platform::GetWindowsDirectoryA(buffer, sizeof buffer), 0u);
}

TEST_F(FilesTest, LoadsOnlyRealModulesAndFindsTheirExports) {
  const std::string notAModule = MakeFile("fusion.dll", "MZ but not a shared object");
  EXPECT_EQ(platform::LoadLibraryA(notAModule.c_str()), nullptr);
  EXPECT_EQ(platform::LoadLibraryA((root_ + "/missing.dll").c_str()), nullptr);

  // The C library is a shared object every host has; find its file from one of its symbols.
  Dl_info info{};
  ASSERT_NE(::dladdr(reinterpret_cast<void*>(&::gnu_get_libc_version), &info), 0);
  ASSERT_NE(info.dli_fname, nullptr);

  platform::UniqueModule module(platform::LoadLibraryA(Backslashed(info.dli_fname).c_str()));
  ASSERT_TRUE(module);
  EXPECT_NE(platform::GetProcAddress(module.get(), "gnu_get_libc_version"), nullptr);
  EXPECT_EQ(platform::GetProcAddress(module.get(), "CreateAssemblyCache"), nullptr);
  EXPECT_EQ(platform::FreeLibrary(module.release()), TRUE);
}

}  // namespace
