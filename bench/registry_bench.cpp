// Framework detection over a large policy key.
#include <benchmark/benchmark.h>

#include <string>

#include "model/framework_inventory.h"
#include "product_world.h"

namespace {

void BM_DetectFrameworks(benchmark::State& state) {
  const bench::ProductWorld world(1);
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int index = 0; index < state.range(0); ++index) {
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v" + std::to_string(index / 10) + "." +
            std::to_string(index % 10) + "]\r\n\"50727\"=\"50727-50727\"\r\n\r\n";
  }
  if (!platform::standin::LoadRegistryText(text)) std::abort();
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
