// The whole tool in-process: any registry, any command line, and a fusion.dll that fails
// wherever the input says. This reaches the framework detection, the installed-copy reader and
// the search for the owning copy, both commands, and the cache operations they use.
//
// Input: byte 0 is a count n; the next n bytes drive the fake fusion.dll's outcomes; the rest is
// the registry as regedit text after its header line, then at each NUL byte one argument
// follows. Every 0x02 byte stands for the directory of a complete product installation.
//
// Whatever the input: exit status 0, every registry handle closed, fusion.dll freed, every
// interface object released, no call outside the documented shapes, and the assembly "Other"
// still cached, which the tool must never touch.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/command_line.h"
#include "fake_fusion/fake_fusion.h"
#include "world/product_world.h"

// Stops the run loudly: the libFuzzer driver records the input that got here.
#define FUZZ_CHECK(c) ((c) ? (void)0 : (std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c), abort()))

namespace {

// Made once per process, below TMPDIR (the run script's, removed even after a finding): .NET
// Framework 2.0 and 4.0, whose fusion.dll is the fake linked in here, and a complete product.
const std::string& ProductDirectory() {
  static const world::ProductWorld world;
  static const std::string product = [] {
    world.AddFramework("v2.0", ZT4GAC_FAKE_FUSION, "50727");
    world.AddFramework("v4.0", ZT4GAC_FAKE_FUSION);
    return world.MakeProduct("P");
  }();
  return product;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)ProductDirectory();
  const size_t faults = size == 0 ? 0 : data[0] < size ? data[0] : size - 1;
  std::vector<std::string> arguments{world::kRegeditHeader};  // the registry first
  for (size_t at = 1 + faults; at < size; ++at) {
    if (data[at] == 0) arguments.emplace_back();
    else arguments.back() += data[at] == 2 ? ProductDirectory() : std::string(1, static_cast<char>(data[at]));
  }
  platform::standin::ResetRegistry();
  if (!platform::standin::LoadRegistryText(arguments[0])) return -1;
  arguments[0] = "zt4gac";
  // Each argument in a block of exactly its size, so that AddressSanitizer sees a read past it.
  std::vector<std::unique_ptr<char, void (*)(void*)>> blocks;
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(blocks.emplace_back(strdup(a.c_str()), free).get());
  argv.push_back(nullptr);
  // Our providers, the second one older, and "Other"; every later outcome of the fake taken from the
  // fault bytes while they last.
  FakeFusionReset();
  const char* cached[][2] = {{"Ovk.Data.Zt4", "9.0.0.2"}, {"Ovk.Data.Quillmor", "8.0.0.0"}, {"Other", "1.0.0.0"}};
  for (const auto& entry : cached) FakeFusionAddEntry(entry[0], entry[1]);
  FakeFusionUseBytes(data + 1, faults);
  FUZZ_CHECK(RunCommandLine(static_cast<int>(arguments.size()), argv.data()) == 0);
  FUZZ_CHECK(platform::standin::OpenRegistryHandleCount() == 0 && platform::standin::LoadedModuleCount() == 0);
  FUZZ_CHECK(FakeFusionLiveObjects() == 0 && FakeFusionMisuse() == 0);
  FUZZ_CHECK(std::string(FakeFusionListing()).find("Other ") != std::string::npos);
  return 0;
}
