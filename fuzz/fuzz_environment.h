// What the fuzz targets share: a loud check; the product's world (a complete product
// installation, and .NET Framework 2.0 and 4.0 whose fusion.dll is a link to the fake linked into the
// target, so the tool's LoadLibraryA gets that very instance back and the fake's controls steer
// what the tool sees); one cache to start every input from; and the check that an input left
// nothing behind.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fake_fusion/fake_fusion.h"
#include "world/product_world.h"

// Stops the run loudly: the libFuzzer driver records the input that got here.
#define FUZZ_CHECK(c) ((c) ? (void)0 : (std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c), abort()))

// Made once per process, below TMPDIR (the run script's, removed even after a finding).
inline const std::string& ProductDirectory() {
  static const world::ProductWorld world;
  static const std::string product = [] {
    world.AddFramework("v2.0", ZT4GAC_FAKE_FUSION, "50727");
    world.AddFramework("v4.0", ZT4GAC_FAKE_FUSION);
    return world.MakeProduct("P");
  }();
  return product;
}

// Both providers, the second one older, and "Other", which the tool must never touch; every later
// outcome of the fake taken from `faults` while they last.
inline void StartInput(const uint8_t* faults, size_t size) {
  (void)ProductDirectory();
  FakeFusionReset();
  const char* cached[][2] = {{"Ovk.Data.Zt4", "9.0.0.2"}, {"Ovk.Data.Quillmor", "8.0.0.0"}, {"Other", "1.0.0.0"}};
  for (const auto& entry : cached) FakeFusionAddEntry(entry[0], entry[1]);
  FakeFusionUseBytes(faults, size);
}

// Whatever the input did: every registry handle closed, fusion.dll freed, every interface object
// released, no call outside the documented shapes, and the other assembly still cached.
inline void CheckNothingLeft() {
  FUZZ_CHECK(platform::standin::OpenRegistryHandleCount() == 0 && platform::standin::LoadedModuleCount() == 0);
  FUZZ_CHECK(FakeFusionLiveObjects() == 0 && FakeFusionMisuse() == 0);
  FUZZ_CHECK(std::string(FakeFusionListing()).find("Other ") != std::string::npos);
}
