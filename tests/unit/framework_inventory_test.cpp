// Framework detection from the policy key: which subkeys count, how they are named and
// ordered, the buffers names must fit, and that every key opened is closed again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "model/framework_inventory.h"
#include "platform/posix/registry_store.h"

namespace {

const std::string kPolicy = "SOFTWARE\\Microsoft\\.NETFramework\\policy";

std::string Directory(const std::string& folder) { return "C:\\Windows\\Microsoft.NET\\Framework\\" + folder; }

class FrameworkInventoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::standin::ResetRegistry();
    setenv("ZT4GAC_WINDOWS_DIR", "C:\\Windows", 1);
  }
  void TearDown() override {
    EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0);
    unsetenv("ZT4GAC_WINDOWS_DIR");
    platform::standin::ResetRegistry();
  }

  // A policy subkey with the given value names, in this creation (and so enumeration) order.
  static void AddPolicySubkey(const std::string& name, std::initializer_list<std::string> valueNames) {
    platform::standin::CreateRegistryKey(HKEY_LOCAL_MACHINE, kPolicy + "\\" + name);
    for (const std::string& valueName : valueNames) {
      platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kPolicy + "\\" + name, valueName, "");
    }
  }
};

TEST_F(FrameworkInventoryTest, TakesSubkeysBeginningWithVAndTheirDirectories) {
  AddPolicySubkey("v1.0", {"100"});
  AddPolicySubkey("v1.1", {"110"});
  AddPolicySubkey("v2.0", {"200"});
  AddPolicySubkey("v4.0", {"400"});
  AddPolicySubkey("Upgrades", {"1.0.3705-1.1.4322"});

  const FrameworkInventory inventory;
  EXPECT_EQ(inventory.HasFrameworks(), 1);
  EXPECT_EQ(inventory.GetLatestVersion(), "v4.0");
  EXPECT_EQ(inventory.GetFrameworkDirectory("v4.0"), Directory("v4.0.400"));
  EXPECT_EQ(inventory.GetFrameworkDirectory("v1.0"), Directory("v1.0.100"));
  for (const char* key : {"v1.0", "v1.1", "v2.0", "v4.0"}) EXPECT_EQ(inventory.HasVersion(key), 1) << key;
  EXPECT_EQ(inventory.HasVersion("upgrades"), 0);
  EXPECT_EQ(inventory.HasVersion("Upgrades"), 0);

  // Any name beginning with "v" is a version key, and "ve" sorts after "v4".
  AddPolicySubkey("vendor", {"1"});
  const FrameworkInventory withVendor;
  EXPECT_EQ(withVendor.GetFrameworkDirectory("vendor"), Directory("vendor.1"));
  EXPECT_EQ(withVendor.GetLatestVersion(), "vendor");
}

TEST_F(FrameworkInventoryTest, KeysAreLowercasedAndCompareAsUnsignedBytes) {
  AddPolicySubkey("V2.0", {"200"});
  AddPolicySubkey("v10.0", {"1000"});
  {
    const FrameworkInventory inventory;
    EXPECT_EQ(inventory.GetLatestVersion(), "v2.0");  // bytes, not numbers
    EXPECT_EQ(inventory.HasVersion("v2.0"), 1);
    EXPECT_EQ(inventory.HasVersion("V2.0"), 0);  // looked up exactly
    EXPECT_EQ(inventory.GetFrameworkDirectory("v2.0"), Directory("v2.0.200"));
    EXPECT_EQ(inventory.GetFrameworkDirectory("V2.0"), "");
  }

  // A byte above 0x7F sorts after every ASCII key, and only ASCII letters are folded.
  AddPolicySubkey("vz", {"1"});
  AddPolicySubkey("V\xC3\x89", {"1"});
  const FrameworkInventory inventory;
  EXPECT_EQ(inventory.HasVersion("v\xC3\x89"), 1);
  EXPECT_EQ(inventory.GetLatestVersion(), "v\xC3\x89");
  EXPECT_EQ(inventory.HasFrameworks(), 1);  // asking for absent keys changed nothing
}

TEST_F(FrameworkInventoryTest, TheLastValueNameDecidesAndValuelessSubkeysGiveNoRecord) {
  AddPolicySubkey("v2.0", {"200", "201"});
  AddPolicySubkey("v3.0", {"300"});
  platform::standin::FailRegistryEnumeration(HKEY_LOCAL_MACHINE, kPolicy + "\\v3.0", 0, ERROR_MORE_DATA);
  AddPolicySubkey("v3.5", {});
  AddPolicySubkey("v4.0", {"400"});

  const FrameworkInventory inventory;
  EXPECT_EQ(inventory.GetFrameworkDirectory("v2.0"), Directory("v2.0.201"));
  EXPECT_EQ(inventory.HasVersion("v3.0"), 0);  // its first value could not be enumerated
  EXPECT_EQ(inventory.HasVersion("v3.5"), 0);
  EXPECT_EQ(inventory.HasVersion("v4.0"), 1);  // detection goes on after them
}

// The policy key stays closed on every early end; the fixture counts the open handles.
TEST_F(FrameworkInventoryTest, AnUnopenableSubkeyOrFailedEnumerationStopsDetection) {
  for (const char* name : {"v1.0", "v1.1", "v2.0", "v3.0", "v4.0"}) AddPolicySubkey(name, {"1"});
  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kPolicy + "\\v2.0");
  {
    const FrameworkInventory inventory;
    EXPECT_EQ(inventory.HasVersion("v1.0"), 1);
    EXPECT_EQ(inventory.HasVersion("v3.0"), 0);
    EXPECT_EQ(inventory.HasVersion("v4.0"), 0);
    EXPECT_EQ(inventory.GetLatestVersion(), "v1.1");
  }

  platform::standin::ResetRegistry();
  for (const char* name : {"v1.0", "v1.1", "v2.0", "v4.0"}) AddPolicySubkey(name, {"1"});
  platform::standin::FailRegistryEnumeration(HKEY_LOCAL_MACHINE, kPolicy, 2, ERROR_ACCESS_DENIED);
  EXPECT_EQ(FrameworkInventory().GetLatestVersion(), "v1.1");

  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kPolicy);
  EXPECT_EQ(FrameworkInventory().HasFrameworks(), 0);
}

TEST_F(FrameworkInventoryTest, NamesTooLongForTheirBuffersEndTheirEnumeration) {
  const std::string fits = "v" + std::string(254, 'a');     // 255 chars + NUL fill the 256-byte buffer
  const std::string tooLong = "v" + std::string(255, 'b');  // 256 chars need 257 bytes
  AddPolicySubkey("v1.0", {"100"});
  AddPolicySubkey(fits, {"1"});
  AddPolicySubkey(tooLong, {"1"});
  AddPolicySubkey("vc", {"1"});  // enumerates after the long name
  // Value names: 99 characters fit the 100-byte buffer, 100 do not.
  AddPolicySubkey("v2.0", {"200", std::string(100, '8'), "201"});
  AddPolicySubkey("v3.0", {std::string(100, '8')});
  AddPolicySubkey("v4.0", {std::string(99, '9')});

  const FrameworkInventory inventory;
  EXPECT_EQ(inventory.HasVersion("v1.0"), 1);
  EXPECT_EQ(inventory.HasVersion(fits), 1);
  EXPECT_EQ(inventory.HasVersion(tooLong), 0);
  EXPECT_EQ(inventory.HasVersion("vc"), 0);
  EXPECT_EQ(inventory.GetFrameworkDirectory("v2.0"), Directory("v2.0.200"));
  EXPECT_EQ(inventory.HasVersion("v3.0"), 0);
  EXPECT_EQ(inventory.GetFrameworkDirectory("v4.0"), Directory("v4.0." + std::string(99, '9')));
}

TEST_F(FrameworkInventoryTest, TheWindowsDirectoryIsUsedAsGivenAndNeeded) {
  AddPolicySubkey("v4.0", {"400"});
  setenv("ZT4GAC_WINDOWS_DIR", "D:\\", 1);
  EXPECT_EQ(FrameworkInventory().GetFrameworkDirectory("v4.0"), "D:\\\\Microsoft.NET\\Framework\\v4.0.400");

  // Without it the registry is not read; one too long for the 1024-byte buffer is not there either.
  unsetenv("ZT4GAC_WINDOWS_DIR");
  const FrameworkInventory inventory;
  EXPECT_EQ(inventory.HasFrameworks(), 0);
  EXPECT_EQ(inventory.GetFrameworkDirectory("v4.0"), "");
  setenv("ZT4GAC_WINDOWS_DIR", ("C:\\" + std::string(1100, 'w')).c_str(), 1);
  EXPECT_EQ(FrameworkInventory().HasFrameworks(), 0);
  setenv("ZT4GAC_WINDOWS_DIR", ("C:\\" + std::string(1020, 'w')).c_str(), 1);  // 1023 chars still fit
  EXPECT_EQ(FrameworkInventory().HasFrameworks(), 1);
}

TEST_F(FrameworkInventoryTest, SupportedVersionsAreThoseNotNewerThanTheLatest) {
  {
    const FrameworkInventory empty;  // no policy key at all
    EXPECT_EQ(empty.HasFrameworks(), 0);
    EXPECT_EQ(empty.GetLatestVersion(), "");
    EXPECT_EQ(empty.IsVersionSupported("v2.0"), 0);
    EXPECT_EQ(empty.IsVersionSupported(""), 1);
    EXPECT_EQ(empty.GetFrameworkDirectory(""), "");
  }
  AddPolicySubkey("v4.0", {"400"});
  const FrameworkInventory withFour;
  EXPECT_EQ(withFour.IsVersionSupported("v2.0"), 1);
  EXPECT_EQ(withFour.IsVersionSupported("V4.0"), 1);
  EXPECT_EQ(withFour.IsVersionSupported("v4.5"), 0);
  EXPECT_EQ(withFour.IsVersionSupported("v1.9"), 1);  // need not be installed itself

  platform::standin::ResetRegistry();
  AddPolicySubkey("v2.0", {"200"});
  EXPECT_EQ(FrameworkInventory().IsVersionSupported("v4.0"), 0);
}

}  // namespace
