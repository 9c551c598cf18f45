#include "tool_test.h"

#include <algorithm>
#include <iterator>
#include <sstream>

void ToolTest::SetUp() {
  platform::standin::ResetRegistry();
  platform::standin::ResetDllSearch();
  FakeFusionReset();
  modulesBefore_ = platform::standin::LoadedModuleCount();
  objectsBefore_ = FakeFusionLiveObjects();
}

void ToolTest::TearDown() { ExpectNothingLeft("the test"); }

void ToolTest::ExpectNothingLeft(const std::string& after) const {
  EXPECT_EQ(platform::standin::OpenRegistryHandleCount(), 0) << "registry keys left open by " << after;
  EXPECT_EQ(platform::standin::LoadedModuleCount(), modulesBefore_) << "modules left loaded by " << after;
  EXPECT_EQ(FakeFusionLiveObjects(), objectsBefore_) << "interface objects left unreleased by " << after;
  EXPECT_EQ(FakeFusionMisuse(), 0) << "fusion.dll called in a shape its documentation does not allow by " << after;
  EXPECT_EQ(FakeFusionPendingScripts(), 0) << "a scripted fusion.dll outcome never fired in " << after;
}

void ToolTest::Script(const std::vector<FusionScript>& scripts) {
  for (const FusionScript& s : scripts) FakeFusionScript(s.method, s.match, s.nth, s.result, s.value);
}

void ToolTest::CacheEntries(const std::string& listing) {
  std::istringstream lines(listing);
  for (std::string name, file; lines >> name >> file;) FakeFusionAddEntry(name.c_str(), file.c_str());
}

std::string ToolTest::Gac() {
  // Each target's letters at their places in "ZQAE"; an index of 4 is none of our four.
  std::string targets[2] = {"    ", "    "}, others, summary;
  std::istringstream lines(FakeFusionListing());
  for (std::string name, file; lines >> name >> file;) {
    const auto index = std::find(std::begin(world::kProviders), std::end(world::kProviders), name) - world::kProviders;
    const int target = file == world::kTargets[0][1] ? 0 : file == world::kTargets[1][1] ? 1 : -1;
    if (target < 0 || index == 4) others += " " + name + "@" + file;
    else targets[target][index] = "ZQAE"[index];
  }
  for (int target : {0, 1}) {
    targets[target].erase(std::remove(targets[target].begin(), targets[target].end(), ' '), targets[target].end());
    if (!targets[target].empty()) summary += (target == 0 ? " 2:" : " 4:") + targets[target];
  }
  summary += others;
  return summary.empty() ? summary : summary.substr(1);
}

std::string ToolTest::Value(const std::string& keyPath, const std::string& valueName) {
  std::string text;
  return platform::standin::ReadRegistryString(HKEY_LOCAL_MACHINE, keyPath, valueName, &text) ? text : "<absent>";
}
