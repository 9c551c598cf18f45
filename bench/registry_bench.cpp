// Framework detection over a large policy key.
#include <benchmark/benchmark.h>

#include <string>

#include "model/framework_inventory.h"
#include "world/product_world.h"

namespace {

void BM_DetectFrameworks(benchmark::State& state) {
  const world::ProductWorld world;
  platform::standin::ResetRegistry();
  for (int index = 0; index < state.range(0); ++index) {
    world.AddFramework("v" + std::to_string(index / 10) + "." + std::to_string(index % 10), nullptr, "50727");
  }
  for (auto _ : state) {
    FrameworkInventory inventory;
    if (inventory.HasFrameworks() == 0) {
      state.SkipWithError("no framework detected");
      break;
    }
    benchmark::DoNotOptimize(inventory);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DetectFrameworks)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
