// Reading the installed copies and searching them by directory, over 1 to 1,000 copies.
#include <benchmark/benchmark.h>

#include <string>

#include "copies/install_copy_list.h"
#include "bench_world.h"

namespace {

void BM_LoadCopyList(benchmark::State& state) {
  const bench::BenchWorld world(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    InstallCopyList copies(false, false);
    benchmark::DoNotOptimize(copies.GetHead());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadCopyList)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond)->Complexity();

// The owner is the last copy: every copy's path is converted and compared.
void BM_FindCopyByPath(benchmark::State& state) {
  const bench::BenchWorld world(static_cast<int>(state.range(0)));
  InstallCopyList copies(false, false);
  const std::string directory = world.ProductDirectory();
  for (auto _ : state) {
    InstallCopy* found = nullptr;
    if (copies.FindCopyByPath(directory.c_str(), &found) != 0 || found == nullptr) {
      state.SkipWithError("the product directory's copy was not found");
      break;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FindCopyByPath)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond)->Complexity();

}  // namespace
