// The installed copies read from the registry, and the search for the copy that owns a directory.
#include <filesystem>
#include <string>

#include "copies/install_copy_list.h"
#include "tool_test.h"

namespace {

using platform::standin::TakeDebugOutput;

class CopiesTest : public ToolTest {
 protected:
  // Fills the registry from regedit lines; "@" in them stands for root_.
  void Registry(std::string lines) {
    for (size_t at = lines.find('@'); at != std::string::npos; at = lines.find('@', at)) lines.replace(at, 1, root_);
    ASSERT_TRUE(platform::standin::LoadRegistryText("Windows Registry Editor Version 5.00\n\n" + lines));
  }

  // The copies' names in list order, each followed by a space.
  static std::string Names(InstallCopyList& list) {
    std::string names;
    list.Rewind();
    for (InstallCopy* copy = list.GetNext(); copy != nullptr; copy = list.GetNext()) {
      char name[InstallCopy::kMaxNameLength + 1];
      names += copy->GetName(name, sizeof name) == 0 ? name + std::string(" ") : "? ";
    }
    return names;
  }
};

const char kCopies[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies";
const char kProduct[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4]\n\"Zt4 Path Name\"=\"@/v8\\\\\"\n";
const char kVersion[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\CurrentVersion]\n\"Version\"=";

TEST_F(CopiesTest, ListTakesTheVersion8CopyFirstAndLeavesOutWhatCannotBeRead) {
  const std::string copies = kCopies, v8 = kProduct + std::string(kVersion);
  const struct {
    std::string registry, names, debugOutput;
    int loadFailed;
  } rows[] = {
      {"", "", "", 0},
      {copies + "\\A]\n\"Zt4 Path Name\"=\"@\"\n" + copies + "\\B]\n\"Zt4 Path Name\"=\"@\"\n", "A B ", "", 0},
      {v8 + "\"8\"\n" + copies + "\\A]\n\"Zt4 Path Name\"=\"@\"\n", "Zt4V8 A ", "", 0},
      {v8 + "\"8.0\"\n", "Zt4V8 ", "", 0},
      {v8 + "\"9\"\n" + copies + "\\A]\n\"Zt4 Path Name\"=\"@\"\n", "A ", "", 0},
      {kVersion + std::string("\"8\"\n") + copies + "\\A]\n\"Zt4 Path Name\"=\"@\"\n", "", "", 1},  // no version-8 path
      {copies + "\\Broken]\n" + copies + "\\A]\n\"Zt4 Path Name\"=\"@\"\n", "A ", "Invalid Installation NameBroken", 0},
      {copies + "\\Long]\n\"Zt4 Path Name\"=\"C:\\\\" + std::string(253, 'p') + "\"\n", "", "Invalid Installation NameLong", 0},
      {copies + "\\Fits]\n\"Zt4 Path Name\"=\"C:\\\\" + std::string(252, 'p') + "\"\n", "Fits ", "", 0},
      {copies + "\\zT4v8]\n" + kProduct, "zT4v8 ", "", 0},  // read from the product key
      {copies + "\\" + std::string(70, 'n') + "]\n\"Zt4 Path Name\"=\"@\"\n" + copies + "\\" + std::string(64, 'n') +
           "]\n\"Zt4 Path Name\"=\"@\"\n",
       std::string(64, 'n') + " " + std::string(64, 'n') + " ", "", 0},  // names cut to 64
  };
  for (const auto& row : rows) {
    platform::standin::ResetRegistry();
    Registry(row.registry);
    InstallCopyList list(false, false);
    EXPECT_EQ(Names(list), row.names) << row.registry;
    EXPECT_EQ(list.GetLoadFailed(), row.loadFailed) << row.registry;
    EXPECT_EQ(TakeDebugOutput(), row.debugOutput) << row.registry;
  }

  // An enumeration error keeps the copies read before it.
  platform::standin::FailRegistryEnumeration(HKEY_LOCAL_MACHINE, kInstalledCopiesKey, 1, ERROR_ACCESS_DENIED);
  InstallCopyList failed(false, false);
  EXPECT_EQ(Names(failed), std::string(64, 'n') + " ");
  EXPECT_EQ(failed.GetLoadFailed(), 1);
}

TEST_F(CopiesTest, PerUserCopiesTakeTheirComponentsFromTheCurrentUser) {
  Registry(std::string(kCopies) + "\\U]\n\"Zt4 Path Name\"=\"@\"\n" + kCopies + "\\U\\Users]\n" + kCopies +
           "\\U\\COMPONENTS]\n\"machine\"=\"\"\n[HKEY_CURRENT_USER\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\U\\COMPONENTS]\n"
           "\"user\"=\"\"\n");
  const InstallCopy copy("U", false, false);
  ASSERT_TRUE(copy.IsPerUser());
  ASSERT_NE(copy.GetComponents().GetHead(), nullptr);
  EXPECT_STREQ(copy.GetComponents().GetHead()->data, "user");
  EXPECT_EQ(copy.GetComponents().GetCount(), 1);
}

TEST_F(CopiesTest, SearchMatchesTheFirstCopyAtThePlaceAndRestoresTheCursor) {
  std::filesystem::create_directories(root_ + "/Data/Sub");
  Registry(std::string(kCopies) + "\\First]\n\"Zt4 Path Name\"=\"@/Data\\\\\"\n" + kCopies +
           "\\Second]\n\"Zt4 Path Name\"=\"@/Data\"\n" + kCopies + "\\Third]\n\"Zt4 Path Name\"=\"@/gone\"\n");
  InstallCopyList list(false, false);
  InstallCopy* found = nullptr;
  const std::string data = root_ + "/Data", tooLong(MAX_PATH + 1, 'x');
  const struct {
    std::string directory;
    uint32_t result;
  } rows[] = {
      {data, 0}, {data + "\\", 0}, {data + "/Sub", E_COPY_NOT_FOUND},
      {root_ + "/gone", E_COPY_SYSTEM_CALL}, {tooLong, E_COPY_NOT_FOUND},
  };
  for (const auto& row : rows) {
    list.Rewind();
    (void)list.GetNext();
    found = nullptr;
    EXPECT_EQ(list.FindCopyByPath(row.directory.c_str(), &found), row.result) << row.directory;
    EXPECT_EQ(found != nullptr, row.result == 0) << row.directory;
    if (found != nullptr) {
      EXPECT_STREQ(found->GetKeyPath(), (std::string(kInstalledCopiesKey) + "\\First").c_str());
    }
    char name[InstallCopy::kMaxNameLength + 1];
    ASSERT_EQ(list.GetNext()->GetName(name, sizeof name), 0u);
    EXPECT_STREQ(name, "Second") << row.directory;  // the cursor is where it was
  }
  EXPECT_EQ(list.FindCopyByPath(data.c_str(), nullptr), E_COPY_NULL_ARGUMENT);
  EXPECT_EQ(list.FindCopyByPath(nullptr, &found), E_COPY_NULL_ARGUMENT);

  // The name needs room for its terminator; a buffer too small is left as it was.
  char buffer[64] = "untouched";
  EXPECT_EQ(InstallCopy(std::string(64, 'g').c_str(), false, false).GetName(buffer, sizeof buffer),
            E_COPY_BUFFER_TOO_SMALL);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(InstallCopy(std::string(63, 'f').c_str(), false, false).GetName(buffer, sizeof buffer), 0u);
  EXPECT_EQ(std::string(buffer), std::string(63, 'f'));
}

}  // namespace
