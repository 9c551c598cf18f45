// The installed copies read from the registry, and the search for the copy that owns a directory.
#include <filesystem>
#include <string>

#include "copies/install_copy_list.h"
#include "tool_test.h"

namespace {

// A copy's key in regedit text, with its "Zt4 Path Name" unless `path` is null.
std::string Copy(const std::string& name, const char* path = "@") {
  const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\" + name + "]\n";
  return path == nullptr ? key : key + "\"Zt4 Path Name\"=\"" + path + "\"\n";
}
const std::string kProduct = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4]\n\"Zt4 Path Name\"=\"@\\\\\"\n";
const std::string kVersion = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\CurrentVersion]\n\"Version\"=";

class CopiesTest : public ToolTest {
 protected:
  // Replaces the registry with regedit lines in which "@" stands for Root().
  void Registry(std::string lines) {
    platform::standin::ResetRegistry();
    for (size_t at = lines.find('@'); at != std::string::npos; at = lines.find('@', at)) lines.replace(at, 1, Root());
    ASSERT_TRUE(platform::standin::LoadRegistryText(world::kRegeditHeader + lines));
  }

  // The copies' names in list order, each followed by a space.
  static std::string Names(InstallCopyList& list) {
    std::string names;
    char name[InstallCopy::kMaxNameLength + 1];
    list.Rewind();
    for (InstallCopy* copy = list.GetNext(); copy != nullptr; copy = list.GetNext())
      names += copy->GetName(name, sizeof name) == 0 ? name + std::string(" ") : "? ";
    return names;
  }
};

TEST_F(CopiesTest, ListTakesTheVersion8CopyFirstAndLeavesOutWhatCannotBeRead) {
  const std::string fits = "C:\\\\" + std::string(252, 'p'), n64(64, 'n');  // 255 characters and the terminator
  const struct { std::string registry, names, debugOutput; int loadFailed; } rows[] = {
      {kProduct + kVersion + "\"8\"\n" + Copy("A"), "Zt4V8 A ", "", 0},
      {kProduct + kVersion + "\"9\"\n" + Copy("A"), "A ", "", 0},
      {kVersion + "\"8\"\n" + Copy("A"), "", "", 1},  // an unreadable version-8 copy: nothing is read
      {Copy("Broken", nullptr) + Copy("C"), "C ", "Invalid Installation NameBroken", 0},
      {Copy("Long", (fits + "p").c_str()), "", "Invalid Installation NameLong", 0},
      {Copy("Fits", fits.c_str()), "Fits ", "", 0},
      {Copy("zT4v8", nullptr) + kProduct, "zT4v8 ", "", 0},  // read from the product key
      {Copy(n64 + std::string(191, 'c')) + Copy(n64), n64 + " " + n64 + " ", "", 0},  // cut; a key name of 255
  };
  for (const auto& row : rows) {
    Registry(row.registry);
    platform::standin::SetLocalMachineReadOnly(true);  // the reads ask for no more than reading
    InstallCopyList list(false, false);
    EXPECT_EQ(Names(list), row.names) << row.registry;
    EXPECT_EQ(list.GetLoadFailed(), row.loadFailed) << row.registry;
    EXPECT_EQ(platform::standin::TakeDebugOutput(), row.debugOutput) << row.registry;
    ExpectNothingLeft(row.registry);
  }

  // An enumeration error keeps the copies read before it.
  platform::standin::FailRegistryEnumeration(HKEY_LOCAL_MACHINE, kCopiesKey, 1, ERROR_ACCESS_DENIED);
  InstallCopyList failed(false, false);
  EXPECT_EQ(Names(failed), n64 + " ");
  EXPECT_EQ(failed.GetLoadFailed(), 1);
}

TEST_F(CopiesTest, SearchMatchesTheFirstCopyAtThePlaceAndRestoresTheCursor) {
  std::filesystem::create_directories(Root() + "/Data/Sub");
  // The copy listed first has no short path: nothing may be read of the buffer it did not fill.
  Registry(Copy("Absent", "@/gone") + Copy("First", "@/Data\\\\") + Copy("Second", "@/Data"));
  platform::standin::SetLocalMachineReadOnly(true);
  InstallCopyList list(false, false);
  const std::string data = Root() + "/Data";
  const struct { std::string directory; uint32_t result; } rows[] = {
      {data, 0}, {data + "\\", 0}, {data + "/Sub", E_COPY_NOT_FOUND}, {Root() + "/gone", E_COPY_SYSTEM_CALL},
      {std::string(MAX_PATH, 'x'), E_COPY_SYSTEM_CALL}, {std::string(MAX_PATH + 1, 'x'), E_COPY_NOT_FOUND},
  };
  char name[InstallCopy::kMaxNameLength + 1];
  for (const auto& row : rows) {
    list.Rewind();
    (void)list.GetNext();
    InstallCopy* found = nullptr;
    EXPECT_EQ(list.FindCopyByPath(row.directory.c_str(), &found), row.result) << row.directory;
    EXPECT_EQ(found ? found->GetKeyPath() : "", row.result == 0 ? kCopiesKey + "\\First" : "") << row.directory;
    ASSERT_EQ(list.GetNext()->GetName(name, sizeof name), 0u);
    EXPECT_STREQ(name, "First") << row.directory;  // the cursor is where it was
    ExpectNothingLeft(row.directory);
  }
  InstallCopy* found = nullptr;
  EXPECT_EQ(list.FindCopyByPath(data.c_str(), nullptr), E_COPY_NULL_ARGUMENT);
  EXPECT_EQ(list.FindCopyByPath(nullptr, &found), E_COPY_NULL_ARGUMENT);
}

}  // namespace
