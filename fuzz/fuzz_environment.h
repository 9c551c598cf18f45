// What the fuzz targets share: a loud check; a product installation with every provider
// assembly of both targets, and a Windows directory inside it whose framework folders (v4.0 in
// the registry) hold a link named fusion.dll to the fake linked into the target, so the tool's
// LoadLibraryA gets that very instance back and the fake's controls steer what the tool sees;
// one cache to start every input from; and the check that an input left nothing behind.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fake_fusion/fake_fusion.h"
#include "model/assembly_catalog.h"
#include "platform/posix/standin.h"

// Stops the run loudly: the libFuzzer driver records the input that got here.
#define FUZZ_CHECK(c) ((c) ? (void)0 : (std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c), abort()))

// Made once per process, below TMPDIR (the run script's, removed even after a finding).
inline const std::string& ProductDirectory() {
  static const std::string root = [] {
    std::string made = std::filesystem::temp_directory_path() / "zt4gac-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(made.data()) != nullptr);
    setenv("ZT4GAC_WINDOWS_DIR", (made + "/W").c_str(), 1);
    for (const char* framework : {"/W/Microsoft.NET/Framework/v2.0.50727", "/W/Microsoft.NET/Framework/v4.0.30319"}) {
      std::filesystem::create_directories(made + framework);
      std::filesystem::create_symlink(ZT4GAC_FAKE_FUSION, made + framework + "/fusion.dll");
    }
    for (const CatalogEntry& e : targetTable32)
      for (const std::string& name : {e.mainAssembly, e.secondAssembly, e.aspAssembly, e.entityAssembly}) {
        const std::filesystem::path file = platform::standin::ToPosixPath(AssemblyFilePath(made, e, name).c_str());
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "10.1.6.2";  // the version the fake installs it as
      }
    platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v4.0", "30319",
                                        REG_SZ, "");
    return made;
  }();
  return root;
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
