// Framework detection, the catalogue's selection rules and the registry records the tool keeps.
#include <string>

#include "model/framework_inventory.h"
#include "platform/registry.h"
#include "registry/provider_registration.h"
#include "tool_test.h"

namespace {

using platform::standin::LoadRegistryText;

std::string Policy(const std::string& keys) { return world::kRegeditHeader + keys; }

TEST_F(ToolTest, FrameworksAreThePolicySubkeysWithValuesNewestInTextOrder) {
  const std::string v = "[HKEY_LOCAL_MACHINE\\" + kPolicyKey + "\\";
  // The longest names that fit the detection's buffers: a subkey of 255 and a value of 99 characters.
  const std::string key255 = "v" + std::string(254, 'k'), value99(99, '9');
  const struct { std::string subkeys, latest, directory; } rows[] = {
      {"", "", ""},
      {v + "v2.0]\n\"50727\"=\"\"\n" + v + "v4.0]\n\"30319\"=\"\"\n" + v + "x86]\n\"1\"=\"\"\n", "v4.0", "v4.0.30319"},
      {v + "V2.0]\n\"50727\"=\"\"\n", "v2.0", "v2.0.50727"},
      {v + "v2.0]\n\"1\"=\"\"\n" + v + "v10.0]\n\"1\"=\"\"\n", "v2.0", "v2.0.1"},
      {v + "v2.0]\n\"1\"=\"\"\n\"2\"=\"\"\n", "v2.0", "v2.0.2"},  // the last value names the folder
      {v + "v2.0]\n" + v + "v1.1]\n\"4322\"=\"\"\n", "v1.1", "v1.1.4322"},  // no values, no record
      {v + key255 + "]\n\"1\"=\"\"\n", key255, key255 + ".1"},
      {v + "v2.0]\n\"" + value99 + "\"=\"\"\n", "v2.0", "v2.0." + value99},
  };
  for (const auto& row : rows) {
    platform::standin::ResetRegistry();
    ASSERT_TRUE(LoadRegistryText(Policy(row.subkeys)));
    const FrameworkInventory inventory;
    EXPECT_EQ(inventory.HasFrameworks(), row.latest.empty() ? 0 : 1) << row.subkeys;
    EXPECT_EQ(inventory.GetLatestVersion(), row.latest) << row.subkeys;
    EXPECT_EQ(inventory.GetFrameworkDirectory(row.latest),
              row.latest.empty() ? "" : Root() + "/Windows\\Microsoft.NET\\Framework\\" + row.directory) << row.subkeys;
    ExpectNothingLeft(row.subkeys);
  }

  // A subkey that cannot be opened ends the detection; what came before it stays.
  platform::standin::ResetRegistry();
  for (const char* version : {"v1.1", "v2.0", "v4.0"}) AddFramework(version, nullptr);
  platform::standin::DenyRegistryAccess(HKEY_LOCAL_MACHINE, kPolicyKey + "\\v2.0");
  EXPECT_EQ(FrameworkInventory().GetLatestVersion(), "v1.1");

  unsetenv("ZT4GAC_WINDOWS_DIR");  // no Windows directory: no detection at all
  EXPECT_EQ(FrameworkInventory().HasFrameworks(), 0);
}

// Which copy values "-u" withdraws is the uninstall table's to show.
TEST_F(ToolTest, RegistrationRecordsTheCopyWithItsTerminator) {
  RecordProviderCopy("10.1.6.DEF.2", "Second");
  EXPECT_EQ(Value(kCopiesKey, "10.1.6.DEF.2"), "Second");
  platform::UniqueRegKey key;  // stored with its terminator, as readers of a REG_SZ expect
  DWORD size = 0;
  ASSERT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCopiesKey.c_str(), 0, KEY_QUERY_VALUE, key.put()), 0);
  EXPECT_EQ(platform::RegQueryValueExA(key.get(), "10.1.6.DEF.2", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, sizeof "Second");
}

}  // namespace
