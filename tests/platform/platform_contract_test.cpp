// What the tool relies on from the platform layer, through the portable calls only. Built into
// the host tests (against the stand-in) and the Windows platform tests (against Win32 under
// Wine): where the two disagree, the stand-in is wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

enum Call { kCreate, kOpen, kSet, kQuery, kEnumKey, kEnumValue, kDeleteKey, kDeleteValue };
// `name` is a key path below the sandbox or a value name; `number` the access asked for, the
// bytes written or the buffer size; `length` the length expected back, when not 0.
struct Step { Call call; const char* name; DWORD index; DWORD number; LONG code; DWORD length; };

// In order, on the handle last opened or created, below HKCU\Software\Zt4gacPlatformTest\<random>.
const Step kSteps[] = {
    {kCreate, "Ovk\\Zt4\\Copies\\five5", 0, 0, ERROR_SUCCESS, 0},  // with its parents
    {kSet, "fits", 0, 256, ERROR_SUCCESS, 0},
    {kSet, "over", 0, 257, ERROR_SUCCESS, 0},
    {kOpen, "ovk\\ZT4\\copies\\FIVE5", 0, KEY_QUERY_VALUE, ERROR_SUCCESS, 0},  // key names ignore case
    {kSet, "fits", 0, 2, ERROR_ACCESS_DENIED, 0},                             // KEY_QUERY_VALUE cannot set,
    {kEnumValue, "", 0, 4, ERROR_MORE_DATA, 0},                               // but enumerates values
    {kEnumValue, "", 1, 5, ERROR_SUCCESS, 4},
    {kQuery, "FITS", 0, 256, ERROR_SUCCESS, 256},  // value names ignore case
    {kQuery, "over", 0, 256, ERROR_MORE_DATA, 257},  // and the size needed
    {kQuery, "absent", 0, 256, ERROR_FILE_NOT_FOUND, 0},
    {kOpen, "Ovk\\Zt4\\Copies", 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, ERROR_SUCCESS, 0},
    {kEnumKey, "", 0, 5, ERROR_MORE_DATA, 0},  // "five5" and its terminator need 6
    {kEnumKey, "", 0, 6, ERROR_SUCCESS, 5},
    {kEnumKey, "", 1, 6, ERROR_NO_MORE_ITEMS, 0},
    {kDeleteKey, "Ovk\\Zt4\\Copies", 0, 0, ERROR_ACCESS_DENIED, 0},  // it has a subkey
    {kOpen, "Ovk\\Zt4\\Copies\\five5", 0, KEY_SET_VALUE, ERROR_SUCCESS, 0},
    {kDeleteValue, "FITS", 0, 0, ERROR_SUCCESS, 0},
    {kDeleteValue, "fits", 0, 0, ERROR_FILE_NOT_FOUND, 0},
    {kDeleteKey, "OVK\\zt4\\copies\\FIVE5", 0, 0, ERROR_SUCCESS, 0},  // with its value
};

// Wine runs every program as administrator, so the stand-in's HKEY_LOCAL_MACHINE without those
// rights (standin::SetLocalMachineReadOnly) is the host tests' alone: nothing here can check it.
TEST(PlatformContractTest, RegistryCallsGiveTheCodesAndLengthsTheToolReliesOn) {
  const std::string sandbox = "Software\\Zt4gacPlatformTest\\" + std::to_string(std::random_device{}());
  platform::UniqueRegKey key;
  for (const Step& step : kSteps) {
    const std::string path = sandbox + "\\" + step.name;
    char buffer[300] = {};  // also the bytes of a value set: only their number matters
    auto* const bytes = reinterpret_cast<BYTE*>(buffer);
    DWORD length = step.number;
    LONG code = -1;
    switch (step.call) {
      case kCreate: code = platform::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), nullptr); break;
      case kOpen: code = platform::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, step.number, key.put()); break;
      case kSet: code = platform::RegSetValueExA(key.get(), step.name, 0, REG_SZ, bytes, step.number); break;
      case kQuery: code = platform::RegQueryValueExA(key.get(), step.name, nullptr, nullptr, bytes, &length); break;
      case kEnumKey: code = platform::RegEnumKeyExA(key.get(), step.index, buffer, &length, nullptr, nullptr, nullptr,
                                                    nullptr); break;
      case kEnumValue: code = platform::RegEnumValueA(key.get(), step.index, buffer, &length, nullptr, nullptr, nullptr,
                                                      nullptr); break;
      case kDeleteKey: code = platform::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()); break;
      case kDeleteValue: code = platform::RegDeleteValueA(key.get(), step.name); break;
    }
    EXPECT_EQ(code, step.code) << "step " << &step - kSteps << ": " << step.name;
    EXPECT_TRUE(step.length == 0 || length == step.length) << "step " << &step - kSteps << ": " << length;
  }
  key.reset();
  // What failed steps left; the shared parent stays while another run uses it.
  for (std::string path = sandbox + "\\Ovk\\Zt4\\Copies\\five5"; path != "Software"; path.erase(path.rfind('\\')))
    (void)platform::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

TEST(PlatformContractTest, ShortPathsFilesAndTextConversion) {
  const auto root = std::filesystem::temp_directory_path() / ("zt4 contract " + std::to_string(std::random_device{}()));
  // Native separators, then '\\' as the tool adds them: the stand-in maps each to '/'. The file's
  // path is past the 128 characters at which the OpenFile existence test gives up.
  const std::string directory = (root / ("Long Directory " + std::string(100, 'x'))).string();
  std::filesystem::create_directories(directory + "/sub");
  std::ofstream(directory + "/fusion.dll") << "x";
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = platform::GetShortPathNameA(directory.c_str(), buffer, sizeof buffer);
  const std::string shortDirectory = buffer, &d = directory, &s = shortDirectory;
  ASSERT_EQ(length, shortDirectory.size());
  EXPECT_EQ(platform::GetShortPathNameA(directory.c_str(), buffer, length), length + 1);  // the size needed
  // A path comes back as written but for its long names ("" when it does not exist): a short form gives
  // itself; '.', '..', a relative path and each separator are kept, never resolved.
  for (const auto& [path, expected] : std::vector<std::pair<std::string, std::string>>{{".", "."},
           {d + "\\", s + "\\"}, {s, s}, {d + "\\absent", ""}, {d + "\\absent\\..\\sub", ""}, {d + "/sub", s + "/sub"},
           {d + "\\.\\sub", s + "\\.\\sub"}, {d + "\\sub\\..\\sub", s + "\\sub\\..\\sub"}, {"..\\.", "..\\."}})
    EXPECT_EQ(std::string(buffer, platform::GetShortPathNameA(path.c_str(), buffer, sizeof buffer)), expected) << path;
  // The ANSI calls take MAX_PATH characters, terminator not counted, and refuse one more even for an existing file.
  // A separator too many makes up each length: Wine's C runtime, which removes them again, takes no MAX_PATH name.
  // Each row: the errors FileExists and GetShortPathNameA leave (0: none to check).
  const std::string dirName(MAX_PATH - d.size() - 2, 'd'), fileName(MAX_PATH - d.size() - 6, 'f');
  std::filesystem::create_directory(d + "/" + dirName);
  std::ofstream(d + "/sub/" + fileName) << "x";
  const std::string longDirectory = d + "\\" + dirName + "\\", longFile = d + "\\sub\\\\" + fileName;
  struct PathRow { std::string path; bool file; DWORD existsError, shortError; };
  const DWORD tooLong = ERROR_FILENAME_EXCED_RANGE;
  for (const PathRow& row : {PathRow{d + "\\fusion.dll", true, 0, 0}, PathRow{longFile, true, 0, 0},
           PathRow{d, false, 0, 0}, PathRow{longDirectory, false, 0, 0},  // a directory is not a file
           PathRow{d + "\\sub\\\\\\" + fileName, false, tooLong, tooLong},
           PathRow{longDirectory + "\\", false, tooLong, tooLong}, PathRow{"", false, 0, ERROR_BAD_PATHNAME},
           PathRow{d + "\\absent.dll", false, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
           PathRow{d + "\\absent\\fusion.dll", false, ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND}}) {
    EXPECT_EQ(platform::FileExists(row.path.c_str()), row.file) << row.path;
    EXPECT_EQ(row.existsError != 0 ? platform::GetLastError() : 0, row.existsError) << row.path;
    const DWORD shortLength = platform::GetShortPathNameA(row.path.c_str(), buffer, sizeof buffer);
    EXPECT_EQ(shortLength != 0 ? 0 : platform::GetLastError(), row.shortError) << row.path;
  }
  std::filesystem::remove_all(root);

  // MultiByteToWideChar counts the terminator and fails when the units do not fit.
  struct Row { const char* text; int length; int size; int result; };
  for (const Row& row : {Row{"Ovk.Data.Zt4", -1, 32, 13}, Row{"Ovk.Data.Zt4", -1, 0, 13},  // 0: the size needed
                         Row{"abcd", -1, 4, 0}, Row{"abcd", 2, 4, 2}}) {  // no room for the terminator; none asked for
    WCHAR wide[32] = {};
    EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, row.text, row.length, row.size > 0 ? wide : nullptr, row.size),
              row.result) << row.text << " " << row.size;
    EXPECT_TRUE(row.result == 0 || row.size == 0 || wide[row.result - 1] == WCHAR(row.text[row.result - 1]));
  }
}

// What the loader refuses before it looks for a file: the tool's restricted load must never be
// asked for in one of these shapes, and the stand-in must refuse it as Windows does.
TEST(PlatformContractTest, DllSearchCallsRefuseWhatWindowsRefuses) {
  const std::string missing = (std::filesystem::temp_directory_path() / "zt4 absent" / "fusion.dll").string();
  const DWORD restricted = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
  struct Row { const char* name; std::string path; DWORD flags; DWORD error; };
  for (const Row& row : {Row{"a search flag and a relative path", "fusion.dll", restricted, ERROR_INVALID_PARAMETER},
                         Row{"search flags and the altered search path", missing,
                             restricted | LOAD_WITH_ALTERED_SEARCH_PATH, ERROR_INVALID_PARAMETER},
                         Row{"no such file", missing, restricted, ERROR_MOD_NOT_FOUND}}) {
    EXPECT_EQ(platform::LoadLibraryExA(row.path.c_str(), nullptr, row.flags), nullptr) << row.name;
    EXPECT_EQ(platform::GetLastError(), row.error) << row.name;
  }
  const WCHAR relative[] = {'b', 'i', 'n', 0};
  EXPECT_EQ(platform::AddDllDirectory(relative), nullptr);
  EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  for (DWORD flags : {DWORD(0), DWORD(LOAD_WITH_ALTERED_SEARCH_PATH)}) {
    EXPECT_EQ(platform::SetDefaultDllDirectories(flags), FALSE) << flags;
    EXPECT_EQ(platform::GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << flags;
  }
}

}  // namespace
