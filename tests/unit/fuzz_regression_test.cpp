// What the fuzz targets found, kept as host tests: each case replays a finding through the
// stand-in fusion.dll so that it stays fixed without the fuzz build.
#include <gtest/gtest.h>

#include <string>

#include "fake_fusion_fixture.h"

namespace {

class FuzzRegressionTest : public LoadedClientTest {
 protected:
  // The next `call` returns `result` and, whatever `result` says, hands out no object.
  void ScriptSuccessWithoutObject(const std::string& call, HRESULT result = S_OK) {
    fake_fusion::State state = ReadState();
    fake_fusion::Scripted scripted;
    scripted.call = call;
    scripted.result = result;
    scripted.withholdsObject = true;
    state.next.push_back(scripted);
    WriteState(state);
  }

  // A plain S_OK for the next `call`, to let an earlier call of the same kind pass.
  void ScriptPlainSuccess(const std::string& call) { ScriptNext(call, S_OK); }

  size_t CachedCount() const { return ReadState().entries.size(); }
};

// cache_operations_fuzz: CreateAssemblyCache reported success and handed out no cache; the
// client called through the null pointer (UndefinedBehaviorSanitizer: member call on null).
TEST_F(FuzzRegressionTest, CacheCreatedWithoutObjectFailsTheOperation) {
  const std::string path = WriteFile("P/bin/netf40_32/Ovk.Data.Zt4.dll", "assembly");
  SetEntries({CachedEntry("Ovk.Data.Zt4", "9.0.0.0")});

  ScriptSuccessWithoutObject("CreateAssemblyCache");
  EXPECT_EQ(client_->InstallAssemblyFile(path.c_str()), 1);
  ScriptSuccessWithoutObject("CreateAssemblyCache", S_FALSE);
  EXPECT_EQ(client_->InstallAssemblyFile(path.c_str()), 1);
  EXPECT_EQ(CachedCount(), 1u);

  ScriptSuccessWithoutObject("CreateAssemblyCache");
  EXPECT_EQ(client_->UninstallExactName("Ovk.Data.Zt4", nullptr), 2);

  // The probe gets its cache; the one for the entry's removal comes back empty.
  ScriptPlainSuccess("CreateAssemblyCache");
  ScriptSuccessWithoutObject("CreateAssemblyCache");
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4,File Version=9", nullptr), 2);
  EXPECT_EQ(CachedCount(), 1u);
  EXPECT_EQ(ReadState().live, 0);
}

// Found beside the one above: CreateAssemblyNameObject reporting success without an object
// left the enumeration without a pattern, and fusion.dll then lists the whole cache, so the
// uninstall removed every assembly in it and the version check judged an unrelated one.
TEST_F(FuzzRegressionTest, NameObjectCreatedWithoutObjectTouchesNothingElse) {
  SetEntries({CachedEntry("Ovk.Data.Zt4", "9.0.0.0"), CachedEntry("Unrelated.Assembly", "1.0.0.0")});

  ScriptSuccessWithoutObject("CreateAssemblyNameObject");
  EXPECT_EQ(client_->UninstallAssemblies("Ovk.Data.Zt4,File Version=9", nullptr), 2);
  EXPECT_EQ(CachedCount(), 2u);
  EXPECT_TRUE(ReadState().CallsTo("CreateAssemblyEnum").empty());

  SetEntries({CachedEntry("Unrelated.Assembly", "1.0.0.0"), CachedEntry("Ovk.Data.Quillmor", "9.0.0.2")});
  ScriptSuccessWithoutObject("CreateAssemblyNameObject");
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  // With its pattern the same question finds only the current version.
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  SetEntries({CachedEntry("Ovk.Data.Quillmor", "9.0.0.1")});
  ScriptSuccessWithoutObject("CreateAssemblyNameObject");
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 0);
  EXPECT_EQ(client_->IsOlderVersionCached("Ovk.Data.Quillmor"), 1);
  EXPECT_EQ(ReadState().live, 0);
}

}  // namespace
