// Each cache operation of AssemblyCacheClient against a fusion.dll whose every outcome (result,
// reported length or disposition, object handed out or not) comes from the input.
//
// Input: one byte chooses the operation, the rest drives the fake's outcomes. Whatever they
// are, the operation answers with one of its own result codes and leaves nothing behind.
#include "fuzz_environment.h"
#include "gac/assembly_cache_client.h"
#include "model/assembly_catalog.h"

static std::string File() { return AssemblyFilePath(ProductDirectory(), targetTable32[1], "Ovk.Data.Zt4"); }

// Each operation with the one result besides 0 that it may give.
const struct { int (*run)(AssemblyCacheClient& client); int failure; } kOperations[] = {
    {[](AssemblyCacheClient& c) { return c.InstallAssemblyFile(File().c_str()); }, 1},
    {[](AssemblyCacheClient& c) { return c.InstallAssemblyFileWithReference(File().c_str(), GUID{}, "Zt4", ""); }, 1},
    {[](AssemblyCacheClient& c) { return c.UninstallAssemblies("Ovk.Data.Zt4,File Version=9", nullptr); }, 2},
    {[](AssemblyCacheClient& c) { return c.UninstallAssemblies("Ovk.Data.Quillmor", nullptr); }, 2},
    {[](AssemblyCacheClient& c) { return c.UninstallExactName("Ovk.Data.Zt4, Version=9.0.0.2", nullptr); }, 2},
    {[](AssemblyCacheClient& c) { return c.IsOlderVersionCached("Ovk.Data.Quillmor"); }, 1},
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return -1;
  StartInput(data + 1, size - 1);
  {
    AssemblyCacheClient client;
    FUZZ_CHECK(client.LoadFusion(nullptr) == 0);
    const auto& operation = kOperations[data[0] % (sizeof kOperations / sizeof kOperations[0])];
    const int result = operation.run(client);
    FUZZ_CHECK(result == 0 || result == operation.failure);
  }
  CheckNothingLeft();
  return 0;
}
