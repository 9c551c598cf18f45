// The whole install command in-process over 1 to 1,000 registered copies, against the fake
// fusion.dll (linked in, so every run can start from an empty cache).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "cli/provider_installer.h"
#include "fake_fusion/fake_fusion.h"
#include "bench_world.h"

namespace {

void BM_InstallCommand(benchmark::State& state) {
  const bench::BenchWorld world(static_cast<int>(state.range(0)), ZT4GAC_FAKE_FUSION);
  const std::string directory = world.ProductDirectory();
  ProviderInstaller installer;
  for (auto _ : state) {
    // Every run starts from the same cache and the same registration.
    state.PauseTiming();
    FakeFusionReset();
    bench::BenchWorld::RestoreAssemblyFolders();
    state.ResumeTiming();
    int32_t failed = 0;
    if (installer.Install(directory.c_str(), &failed, 3, 1) != 0) {
      state.SkipWithError("the install failed");
      break;
    }
  }
  if (platform::standin::RegistryKeyExists(HKEY_LOCAL_MACHINE,
                                           "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4")) {
    state.SkipWithError("the install did not finish");
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_InstallCommand)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
