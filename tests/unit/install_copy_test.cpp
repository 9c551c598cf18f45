// Installed copies read from the registry, and the search for the copy at a directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "copies/install_copy.h"
#include "copies/install_copy_list.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/standin.h"

#include "product_keys.h"

namespace {

using platform::standin::CreateRegistryKey;
using platform::standin::SetRegistryString;
using platform::standin::SetRegistryValue;
using platform::standin::TakeDebugOutput;

const std::string kProductKey = "SOFTWARE\\Ovk\\Zt4";
const std::string kCurrentVersionKey = "SOFTWARE\\Ovk\\Zt4\\CurrentVersion";

std::string CopyKey(const std::string& name) { return kCopiesKey + "\\" + name; }

void AddCopy(const std::string& name, const std::string& path) {
  SetRegistryString(HKEY_LOCAL_MACHINE, CopyKey(name), "Zt4 Path Name", path);
}

void AddVersion8(const std::string& version, const std::string& path) {
  SetRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "Version", version);
  SetRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "Zt4 Path Name", path);
}

std::string NameOf(const InstallCopy* copy) {
  char name[InstallCopy::kMaxNameLength + 1];
  return copy != nullptr && copy->GetName(name, sizeof name) == 0 ? name : "<none>";
}

// The copies' names in list order, walked through the list's own iteration.
std::vector<std::string> Names(InstallCopyList& list) {
  std::vector<std::string> names;
  list.Rewind();
  for (InstallCopy* copy = list.GetNext(); copy != nullptr; copy = list.GetNext()) names.push_back(NameOf(copy));
  return names;
}

std::vector<std::string> Components(const InstallCopy& copy) {
  std::vector<std::string> names;
  for (const INODE<char>* node = copy.GetComponents().GetHead(); node != nullptr; node = node->next) {
    names.push_back(node->data);
  }
  return names;
}

class InstallCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::standin::ResetRegistry();
    TakeDebugOutput();
    char pattern[] = "/tmp/zt4copies.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    // Canonical, so that it compares equal to what the path conversion gives.
    char canonical[PATH_MAX];
    ASSERT_NE(::realpath(pattern, canonical), nullptr);
    root = canonical;
  }

  void TearDown() override {
    EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  // A real directory below the test's temporary root (created with its parents).
  std::string MakeDirectory(const std::string& relative) {
    std::filesystem::create_directories(root + "/" + relative);
    return root + "/" + relative;
  }

  std::string root;
};

// ---- Copy loading ----

TEST_F(InstallCopyTest, Version8CopyComesFirstOnlyWhenCurrentVersionSaysEight) {
  const std::string data = MakeDirectory("v8");
  AddVersion8("8", data + "\\");
  AddCopy("Second", data);

  InstallCopyList list(false, false);
  EXPECT_EQ(list.GetLoadFailed(), 0);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Zt4V8", "Second"}));
  ASSERT_NE(list.GetVersion8Copy(), nullptr);
  const InstallCopy& version8 = *list.GetVersion8Copy();
  EXPECT_TRUE(version8.IsVersion8());
  EXPECT_STREQ(version8.GetKeyPath(), "SOFTWARE\\Ovk\\Zt4");
  EXPECT_STREQ(version8.GetPath(), data.c_str());  // one trailing backslash removed
  EXPECT_EQ(list.GetCount(), 2);

  for (const char* version : {"", "9", "80", "eight"}) {
    SetRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "Version", version);
    InstallCopyList other(false, false);
    EXPECT_EQ(Names(other), std::vector<std::string>{"Second"}) << version;
    EXPECT_EQ(other.GetVersion8Copy(), nullptr) << version;
  }
  SetRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "Version", "8.0");  // atoi: leading digits count
  EXPECT_NE(InstallCopyList(false, false).GetVersion8Copy(), nullptr);

  // The key without the value, and no key at all.
  platform::standin::ResetRegistry();
  CreateRegistryKey(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
  SetRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "Zt4 Path Name", "C:\\Zt4");
  EXPECT_EQ(InstallCopyList(false, false).GetVersion8Copy(), nullptr);
  platform::standin::ResetRegistry();
  InstallCopyList empty(false, false);
  EXPECT_EQ(empty.GetCount(), 0);
  EXPECT_EQ(empty.GetLoadFailed(), 0);  // a missing InstalledCopies key is no failure
}

TEST_F(InstallCopyTest, UnreadableVersion8CopyLeavesTheListEmpty) {
  AddCopy("Other", "C:\\Other");
  SetRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "Version", "8");
  CreateRegistryKey(HKEY_LOCAL_MACHINE, kProductKey);  // no "Zt4 Path Name"
  for (const bool denied : {false, true}) {
    if (denied) {  // the path is there now, but the key cannot be opened
      SetRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "Zt4 Path Name", "C:\\Zt4");
      platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kProductKey);
    }
    InstallCopyList list(false, false);
    EXPECT_EQ(list.GetLoadFailed(), 1) << denied;
    EXPECT_EQ(list.GetCount(), 0) << denied;
    EXPECT_EQ(list.GetVersion8Copy(), nullptr) << denied;
  }
  EXPECT_EQ(TakeDebugOutput(), "");
}

TEST_F(InstallCopyTest, UnreadableCopyIsSkippedWithDebuggerText) {
  CreateRegistryKey(HKEY_LOCAL_MACHINE, CopyKey("Broken"));  // no path value
  AddCopy("Denied", "C:\\Denied");
  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, CopyKey("Denied"));
  // The path value must fit its 256-byte buffer with a terminator.
  const std::string fits = "C:\\" + std::string(252, 'p');  // 255 characters and the terminator
  AddCopy("Fits", fits);
  AddCopy("TooLong", fits + "q");
  SetRegistryValue(HKEY_LOCAL_MACHINE, CopyKey("Unterminated"), "Zt4 Path Name", REG_BINARY, std::string(256, 'u'));
  SetRegistryValue(HKEY_LOCAL_MACHINE, CopyKey("Short"), "Zt4 Path Name", REG_BINARY, "C:\\S\\");

  InstallCopyList list(false, false);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Fits", "Short"}));
  EXPECT_EQ(list.GetLoadFailed(), 0);
  list.Rewind();
  EXPECT_EQ(list.GetNext()->GetPath(), fits);
  EXPECT_STREQ(list.GetNext()->GetPath(), "C:\\S");
  EXPECT_EQ(TakeDebugOutput(),
            "Invalid Installation NameBroken"
            "Invalid Installation NameDenied"
            "Invalid Installation NameTooLong"
            "Invalid Installation NameUnterminated");
}

TEST_F(InstallCopyTest, EnumerationErrorKeepsTheCopiesReadSoFar) {
  AddCopy("A", "C:\\A");
  AddCopy("B", "C:\\B");
  AddCopy("C", "C:\\C");
  platform::standin::FailRegistryEnumeration(HKEY_LOCAL_MACHINE, kCopiesKey, 2, ERROR_ACCESS_DENIED);

  InstallCopyList list(false, false);
  EXPECT_EQ(list.GetLoadFailed(), 1);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "B"}));

  // A subkey name that does not fit the 256-byte buffer is an enumeration error too.
  platform::standin::ResetRegistry();
  AddCopy("A", "C:\\A");
  AddCopy("B" + std::string(300, 'x'), "C:\\Long");
  InstallCopyList tooLong(false, false);
  EXPECT_EQ(tooLong.GetLoadFailed(), 1);
  EXPECT_EQ(Names(tooLong), std::vector<std::string>{"A"});
}

TEST_F(InstallCopyTest, LongNamesAreCutToSixtyFourCharacters) {
  const std::string prefix(64, 'n');
  const std::string longName = prefix + "TAIL";

  // The cut name names the key; without a key of that name the copy cannot be read.
  AddCopy(longName, "C:\\Long");
  {
    InstallCopyList list(false, false);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(TakeDebugOutput(), "Invalid Installation Name" + longName);
  }
  AddCopy(prefix, "C:\\Prefix");
  InstallCopyList list(false, false);
  EXPECT_EQ(Names(list), (std::vector<std::string>{prefix, prefix}));
  list.Rewind();
  list.GetNext();
  EXPECT_STREQ(list.GetNext()->GetPath(), "C:\\Prefix");
}

TEST_F(InstallCopyTest, Version8NameInAnyCaseReadsTheProductKey) {
  SetRegistryString(HKEY_LOCAL_MACHINE, kProductKey, "Zt4 Path Name", "C:\\Zt4\\");
  CreateRegistryKey(HKEY_LOCAL_MACHINE, CopyKey("zT4v8"));  // has no path of its own

  InstallCopyList list(false, false);
  ASSERT_EQ(list.GetCount(), 1);
  EXPECT_EQ(list.GetVersion8Copy(), nullptr);  // not announced by "CurrentVersion"
  list.Rewind();
  const InstallCopy* copy = list.GetNext();
  EXPECT_EQ(NameOf(copy), "zT4v8");
  EXPECT_TRUE(copy->IsVersion8());
  EXPECT_STREQ(copy->GetKeyPath(), "SOFTWARE\\Ovk\\Zt4");
  EXPECT_STREQ(copy->GetPath(), "C:\\Zt4");
}

TEST_F(InstallCopyTest, ComponentsComeFromTheCurrentUserForPerUserCopies) {
  const auto addComponent = [](HKEY root, const std::string& copy, const std::string& name) {
    SetRegistryValue(root, CopyKey(copy) + "\\COMPONENTS", name, REG_SZ, "");
  };
  AddCopy("Machine", "C:\\M");
  addComponent(HKEY_LOCAL_MACHINE, "Machine", "Server");
  addComponent(HKEY_LOCAL_MACHINE, "Machine", "Client");
  addComponent(HKEY_CURRENT_USER, "Machine", "Ignored");

  AddCopy("Personal", "C:\\P");
  CreateRegistryKey(HKEY_LOCAL_MACHINE, CopyKey("Personal") + "\\Users");
  addComponent(HKEY_LOCAL_MACHINE, "Personal", "Ignored");
  addComponent(HKEY_CURRENT_USER, "Personal", "Tools");
  addComponent(HKEY_CURRENT_USER, "Personal", std::string(254, 'c'));
  // A name that does not fit the 255-byte buffer ends the components, nothing after it is read.
  addComponent(HKEY_CURRENT_USER, "Personal", std::string(255, 'd'));
  addComponent(HKEY_CURRENT_USER, "Personal", "After");

  AddCopy("Bare", "C:\\B");  // neither "Users" nor "COMPONENTS"

  InstallCopyList list(false, false);
  ASSERT_EQ(Names(list), (std::vector<std::string>{"Bare", "Machine", "Personal"}));
  list.Rewind();
  const InstallCopy* bare = list.GetNext();
  const InstallCopy* machine = list.GetNext();
  const InstallCopy* personal = list.GetNext();
  EXPECT_FALSE(bare->IsPerUser());
  EXPECT_TRUE(Components(*bare).empty());
  EXPECT_FALSE(machine->IsPerUser());
  EXPECT_EQ(Components(*machine), (std::vector<std::string>{"Server", "Client"}));
  EXPECT_TRUE(personal->IsPerUser());
  EXPECT_EQ(Components(*personal), (std::vector<std::string>{"Tools", std::string(254, 'c')}));
  EXPECT_EQ(personal->GetComponents().GetCount(), 2);

  // An enumeration failure of the components keeps the copy usable.
  platform::standin::FailRegistryEnumeration(HKEY_LOCAL_MACHINE, CopyKey("Machine") + "\\COMPONENTS", 1,
                                             ERROR_ACCESS_DENIED);
  InstallCopy failing("Machine", false, false);
  EXPECT_FALSE(failing.IsInvalid());
  EXPECT_EQ(Components(failing), std::vector<std::string>{"Server"});
}

// ---- The search ----

TEST_F(InstallCopyTest, SearchIgnoresTrailingBackslashAndLetterCaseOnBothSides) {
  // The host's file system tells letter case apart, so both spellings exist for the conversion
  // to succeed; the comparison itself must still ignore the case.
  const std::string lower = MakeDirectory("data");
  const std::string upper = MakeDirectory("DATA");
  const std::string other = MakeDirectory("other");
  AddCopy("Lower", lower + "\\");
  AddCopy("Other", other);

  InstallCopyList list(false, false);
  for (const std::string& directory : {upper, upper + "\\", lower, lower + "\\"}) {
    InstallCopy* found = nullptr;
    EXPECT_EQ(list.FindCopyByPath(directory.c_str(), &found), 0u) << directory;
    EXPECT_EQ(NameOf(found), "Lower") << directory;
  }

  platform::standin::ResetRegistry();
  AddCopy("Upper", upper);
  InstallCopyList upperList(false, false);
  InstallCopy* found = nullptr;
  EXPECT_EQ(upperList.FindCopyByPath((lower + "\\").c_str(), &found), 0u);
  EXPECT_EQ(NameOf(found), "Upper");
}

TEST_F(InstallCopyTest, SearchComparesThePathsAfterConversion) {
  // Two spellings of one place: the conversion (canonical paths here, 8.3 names on Windows)
  // makes them equal.
  const std::string target = MakeDirectory("product/instance");
  ASSERT_EQ(::symlink(target.c_str(), (root + "/alias").c_str()), 0);
  AddCopy("Gone", root + "/missing");  // cannot be converted: matches nothing
  AddCopy("Real", target);

  InstallCopyList list(false, false);
  InstallCopy* found = nullptr;
  EXPECT_EQ(list.FindCopyByPath((root + "/alias\\").c_str(), &found), 0u);
  EXPECT_EQ(NameOf(found), "Real");
  found = nullptr;
  EXPECT_EQ(list.FindCopyByPath((root + "/product/../product/instance").c_str(), &found), 0u);
  EXPECT_EQ(NameOf(found), "Real");

  // An existing directory that no copy owns, and one that does not exist.
  found = nullptr;
  EXPECT_EQ(list.FindCopyByPath(MakeDirectory("product").c_str(), &found), E_COPY_NOT_FOUND);
  EXPECT_EQ(list.FindCopyByPath((root + "/missing").c_str(), &found), E_COPY_SYSTEM_CALL);
  EXPECT_EQ(list.FindCopyByPath("", &found), E_COPY_SYSTEM_CALL);
  EXPECT_EQ(found, nullptr);  // untouched on failure

  // Exactly MAX_PATH characters, the last a backslash, is taken and matches the copy there
  // (whose own path value, at most 255 characters, is a shorter spelling of the place).
  const std::string deep = MakeDirectory(std::string(100, 'a') + "/" + std::string(259 - root.size() - 102, 'b'));
  ASSERT_EQ(deep.size(), 259u);
  ASSERT_EQ(::symlink(deep.c_str(), (root + "/deep").c_str()), 0);
  AddCopy("Deep", root + "/deep");
  InstallCopyList deepList(false, false);
  EXPECT_EQ(deepList.FindCopyByPath((deep + "\\").c_str(), &found), 0u);
  EXPECT_EQ(NameOf(found), "Deep");
}

TEST_F(InstallCopyTest, FirstOfTwoCopiesAtOnePathWinsVersion8First) {
  const std::string shared = MakeDirectory("shared");
  AddCopy("Beta", shared);
  AddCopy("alpha", shared + "\\");
  InstallCopy* found = nullptr;
  {
    InstallCopyList list(false, false);
    EXPECT_EQ(list.FindCopyByPath(shared.c_str(), &found), 0u);
    EXPECT_EQ(NameOf(found), "alpha");  // enumeration order, letter case ignored
  }
  AddVersion8("8", shared);
  InstallCopyList list(false, false);
  EXPECT_EQ(list.FindCopyByPath(shared.c_str(), &found), 0u);
  EXPECT_EQ(found, list.GetVersion8Copy());
}

// Each way out of the search, the cursor restored after it. A directory longer than MAX_PATH
// is refused before the conversion, which would otherwise give E_COPY_SYSTEM_CALL.
TEST_F(InstallCopyTest, SearchRestoresTheCursorOnEveryWayOut) {
  InstallCopy* found = nullptr;
  EXPECT_EQ(InstallCopyList(false, false).FindCopyByPath(root.c_str(), &found), E_COPY_NOT_FOUND);  // empty list
  EXPECT_EQ(found, nullptr);

  const std::string first = MakeDirectory("first");
  const std::string second = MakeDirectory("second");
  AddCopy("First", first);
  AddCopy("Second", second);
  AddCopy("Third", MakeDirectory("third"));
  InstallCopyList list(false, false);

  // A fresh list's cursor stands on its first copy.
  EXPECT_EQ(NameOf(list.GetNext()), "Second");

  const std::string justTooLong(261, 'x');
  const struct {
    const char* directory;
    InstallCopy** found;
    uint32_t result;
  } searches[] = {
      {first.c_str(), nullptr, E_COPY_NULL_ARGUMENT},
      {nullptr, &found, E_COPY_NULL_ARGUMENT},
      {justTooLong.c_str(), &found, E_COPY_NOT_FOUND},
      {"/no/such/directory", &found, E_COPY_SYSTEM_CALL},
      {root.c_str(), &found, E_COPY_NOT_FOUND},
      {second.c_str(), &found, 0},
  };
  for (const auto& search : searches) {
    list.Rewind();
    ASSERT_EQ(NameOf(list.GetNext()), "First");
    EXPECT_EQ(list.FindCopyByPath(search.directory, search.found), search.result);
    EXPECT_EQ(NameOf(list.GetNext()), "Second") << (search.directory ? search.directory : "<null>");
  }
}

// ---- Names and short paths of one copy ----

TEST_F(InstallCopyTest, GetNameAndGetShortPathNeedRoomForTheTerminator) {
  char buffer[64];
  InstallCopy fits(std::string(63, 'f').c_str(), false, false);
  EXPECT_EQ(fits.GetName(buffer, sizeof buffer), 0u);
  EXPECT_EQ(std::string(buffer), std::string(63, 'f'));

  InstallCopy full(std::string(64, 'g').c_str(), false, false);
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(full.GetName(buffer, sizeof buffer), E_COPY_BUFFER_TOO_SMALL);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(64, '#'));  // untouched
  EXPECT_EQ(full.GetName(nullptr, 100), E_COPY_NULL_ARGUMENT);
  EXPECT_EQ(TakeDebugOutput(), "");  // only the list reports unreadable copies

  // The short path is what the conversion gives.
  const std::string data = MakeDirectory("data");
  AddCopy("Here", data);
  AddCopy("Gone", root + "/gone");
  InstallCopy here("Here", false, false);
  char path[261];
  EXPECT_EQ(here.GetShortPath(path, sizeof path), 0u);
  EXPECT_STREQ(path, data.c_str());
  EXPECT_EQ(here.GetShortPath(path, 4), E_COPY_BUFFER_TOO_SMALL);
  EXPECT_EQ(here.GetShortPath(nullptr, sizeof path), E_COPY_NULL_ARGUMENT);
  EXPECT_EQ(InstallCopy("Gone", false, false).GetShortPath(path, sizeof path), E_COPY_SYSTEM_CALL);
}

}  // namespace
