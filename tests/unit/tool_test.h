// The fixture of every host unit test: an empty stand-in registry, a fresh product world (its
// Windows directory below a temporary folder), the fake fusion.dll reset; after each test, nothing
// may be left open, loaded, alive, misused or scripted and not fired.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "fake_fusion/fake_fusion.h"
#include "world/product_world.h"

using world::kCopiesKey;
using world::kFoldersKey;
using world::kPolicyKey;

// The fake fusion.dll, as a framework's fusion.dll.
inline constexpr const char* kFake = ZT4GAC_FAKE_FUSION;

// One FakeFusionScript call: the `nth` call of `method` (kEvery: each one) whose subject, the path or
// name it is about, holds `match` gives `result` and reports `value`.
inline constexpr int kEvery = 0;
struct FusionScript { const char* method; const char* match; HRESULT result; DWORD value = 0; int nth = 1; };

// Names each row of a parameterised table after its `name` field, in GoogleTest and CTest alike.
inline auto RowName() {
  return [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
  };
}

class ToolTest : public ::testing::Test, protected world::ProductWorld {
 protected:
  void SetUp() override;
  void TearDown() override;

  // What TearDown checks; a test that loops over rows calls it after each row, before the row
  // after it resets the registry or the fake, which would reset the counts too.
  void ExpectNothingLeft(const std::string& after) const;
  // Scripts the fake's outcomes; each one must fire before the test ends.
  static void Script(const std::vector<FusionScript>& scripts);
  // Caches the entries of `listing`, "name file" pairs as FakeFusionListing writes them.
  static void CacheEntries(const std::string& listing);
  // The cache in short: "2:" and "4:" followed by the letters of the providers cached at that
  // target's version (Z Ovk.Data.Zt4, Q Ovk.Data.Quillmor, A Ovk.Data.Zt4.ASP, E Ovk.Data.Zt4.Entity),
  // then every other entry as NAME@FILE, in cache order; "" when the cache is empty.
  static std::string Gac();
  // A REG_SZ value's text below HKEY_LOCAL_MACHINE, or "<absent>".
  static std::string Value(const std::string& keyPath, const std::string& valueName);

 private:
  // What earlier tests left loaded or alive is theirs to answer for, not this test's.
  int modulesBefore_ = 0;
  int objectsBefore_ = 0;
};
