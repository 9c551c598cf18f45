// The whole tool in-process: any registry, any cache, any command line, and a fusion.dll that fails
// wherever the input says. This reaches the framework detection, the installed-copy reader and
// the search for the owning copy, both commands, and the cache operations they use.
//
// Input: byte 0 is a count n; the next n bytes drive the fake fusion.dll's outcomes. The next byte
// (modulo 16) counts the cached entries that follow, 10 bytes each: its name (modulo kNames), the
// reads of it that fail (bit 0 its name, 1 its version, 2 its display name) and its four version
// components, 16 bits each, high byte first. The rest is the registry as regedit text after its
// header line, then at each NUL byte one argument follows. Every 0x02 byte stands for the directory
// of a complete product installation.
//
// Whatever the input: exit status 0, every registry handle closed, fusion.dll freed, every
// interface object released, no call outside the documented shapes, and every entry of another
// name still cached. Without fault bytes, while an "Ovk.Data.Quillmor" below 9.0.0.2 whose name and
// version can be read is cached, it stays cached and no "Ovk.Data.Quillmor" is installed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <vector>

#include "cli/command_line.h"
#include "fake_fusion/fake_fusion.h"
#include "world/product_world.h"

// Stops the run loudly: the libFuzzer driver records the input that got here.
#define FUZZ_CHECK(c) ((c) ? (void)0 : (std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c), abort()))

// Ours first (0 to 5): the second provider's name in two spellings (0 and 1), "Ovk.Data.Zt4" in two,
// and the other two; then six that are not ours: prefixes of ours, names ours are prefixes of, and
// another product's.
const char* const kNames[] = {"Ovk.Data.Quillmor", "OVK.DATA.QUILLMOR", "Ovk.Data.Zt4", "ovk.data.zt4",
                              "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity", "Ovk.Data", "Ovk.Data.Quill",
                              "Ovk.Data.Zt4.AS", "Ovk.Data.Quillmor2", "Ovk.Data.Zt4.Entity.Design", "Other"};
const char* const kReads[] = {"GetName", "GetVersion", "GetDisplayName"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Made once per process, below TMPDIR (the run script's, removed even after a finding): .NET
  // Framework 2.0 and 4.0, whose fusion.dll is the fake linked in here, and a complete product.
  static const world::ProductWorld world;
  static const std::string product = [] {
    world.AddFramework("v2.0", ZT4GAC_FAKE_FUSION, "50727");
    world.AddFramework("v4.0", ZT4GAC_FAKE_FUSION);
    return world.MakeProduct("P");
  }();
  const size_t faults = size == 0 ? 0 : std::min<size_t>(data[0], size - 1);
  const uint8_t *at = data + (size == 0 ? 0 : 1 + faults), *const end = data + size;
  FakeFusionReset();
  // Each cached file carries a build, "+0", which a product file the tool installs replaces. What
  // must stay cached: every entry of another name, and an older second provider that can be read.
  std::set<std::string> displays;
  std::vector<std::string> kept;
  bool olderCached = false;
  for (int count = at < end ? *at++ % 16 : 0; count > 0 && end - at >= 10; --count, at += 10) {
    const size_t name = at[0] % std::size(kNames);
    const std::string version = std::to_string(at[2] << 8 | at[3]) + "." + std::to_string(at[4] << 8 | at[5]) + "." +
                                std::to_string(at[6] << 8 | at[7]) + "." + std::to_string(at[8] << 8 | at[9]);
    const std::string display = kNames[name] + (", Version=" + version + ",");  // how its display name begins
    if (!displays.insert(display).second) continue;                             // a cache holds each entry once
    FakeFusionAddEntry(kNames[name], (version + "+0").c_str());
    for (int read = 0; read < 3; ++read)
      if (at[1] >> read & 1) FakeFusionScript(kReads[read], display.c_str(), 0, E_FAIL, 0);
    // Big-endian components compare as the versions do: below 9.0.0.2 is older.
    const bool older = name < 2 && faults == 0 && !(at[1] & 3) && std::memcmp(at + 2, "\0\x09\0\0\0\0\0\x02", 8) < 0;
    olderCached |= older;
    if (older || name >= 6) kept.push_back("\n" + (kNames[name] + (" " + version)) + "+0\n");
  }
  std::vector<std::string> arguments{world::kRegeditHeader};  // the registry first
  for (; at < end; ++at) {
    if (*at == 0) arguments.emplace_back();
    else arguments.back() += *at == 2 ? product : std::string(1, static_cast<char>(*at));
  }
  platform::standin::ResetRegistry();
  if (!platform::standin::LoadRegistryText(arguments[0])) return -1;
  arguments[0] = "zt4gac";
  // Each argument in a block of exactly its size, so that AddressSanitizer sees a read past it.
  std::vector<std::unique_ptr<char, void (*)(void*)>> blocks;
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(blocks.emplace_back(strdup(a.c_str()), free).get());
  argv.push_back(nullptr);
  FakeFusionUseBytes(data + 1, faults);
  FUZZ_CHECK(RunCommandLine(static_cast<int>(arguments.size()), argv.data()) == 0);
  FUZZ_CHECK(platform::standin::OpenRegistryHandleCount() == 0 && platform::standin::LoadedModuleCount() == 0);
  FUZZ_CHECK(FakeFusionLiveObjects() == 0 && FakeFusionMisuse() == 0);
  std::string after = "\n" + std::string(FakeFusionListing());
  for (const std::string& line : kept) FUZZ_CHECK(after.find(line) != std::string::npos);
  // What the tool installs holds its target's version and no build.
  for (char& c : after) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& target : world::kTargets)
    FUZZ_CHECK(!olderCached || after.find(std::string("\novk.data.quillmor ") + target[1] + "\n") == std::string::npos);
  return 0;
}
