// Framework detection over a large policy key, and loading a 3 MB registry file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/framework_inventory.h"
#include "platform/posix/reg_file.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/registry_tree.h"

namespace {

void BM_DetectFrameworks(benchmark::State& state) {
  platform::standin::ResetRegistry();
  setenv("ZT4GAC_WINDOWS_DIR", "C:\\Windows", 1);
  for (int index = 0; index < state.range(0); ++index) {
    const std::string version = "v" + std::to_string(index / 10) + "." + std::to_string(index % 10);
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\" + version,
                                         "50727", "50727-50727");
  }
  for (auto _ : state) {
    FrameworkInventory inventory;
    if (inventory.HasFrameworks() == 0) {
      state.SkipWithError("no framework detected");
      break;
    }
    benchmark::DoNotOptimize(inventory);
  }
  unsetenv("ZT4GAC_WINDOWS_DIR");
  platform::standin::ResetRegistry();
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DetectFrameworks)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A product registry of about `bytes` bytes: copies with a path, a few components, a number
// and some binary data, written the way regedit exports it.
std::string RegistryFileText(size_t bytes) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  char line[160];
  for (int index = 0; text.size() < bytes; ++index) {
    std::snprintf(line, sizeof line, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\Zt4Copy%06d]\r\n", index);
    text += line;
    std::snprintf(line, sizeof line, "\"Zt4 Path Name\"=\"C:\\\\Program Files\\\\Ovk\\\\Zt4\\\\Copy%06d\"\r\n", index);
    text += line;
    text += "\"Edition\"=dword:00000004\r\n\"Signature\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\r\n\r\n";
    std::snprintf(line, sizeof line, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\Zt4Copy%06d\\COMPONENTS]\r\n",
                  index);
    text += line;
    text += "\"Client\"=\"1\"\r\n\"Server\"=\"1\"\r\n\"Tools\"=\"1\"\r\n\"Samples\"=\"0\"\r\n\r\n";
  }
  return text;
}

void BM_ParseRegFile(benchmark::State& state) {
  const std::string text = RegistryFileText(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    platform::standin::RegistryTree tree;
    if (!platform::standin::ParseRegFile(text, tree)) {
      state.SkipWithError("the generated file did not parse");
      break;
    }
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseRegFile)->Arg(3 << 20)->Unit(benchmark::kMillisecond);

// From the file on disk into the stand-in, as a process's first registry call does.
void BM_UseRegistryFile(benchmark::State& state) {
  char pattern[] = "/tmp/zt4gac-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) std::abort();
  const std::string path = std::string(pattern) + "/registry.reg";
  const std::string text = RegistryFileText(static_cast<size_t>(state.range(0)));
  std::ofstream(path, std::ios::binary) << text;
  for (auto _ : state) {
    if (!platform::standin::UseRegistryFile(path)) {
      state.SkipWithError("the generated file did not load");
      break;
    }
  }
  platform::standin::ResetRegistry();
  std::filesystem::remove_all(pattern);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_UseRegistryFile)->Arg(3 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
