// The cache operations against a hostile fusion.dll whose answers come from the fuzz input.
// The client loads it as in production (LoadFusion, through platform::LoadLibraryA and
// GetProcAddress); the target opens the same module to hand it the input and to count the
// interface objects still alive after each operation, which must be none.
//
// Input: one byte chooses the operation, the rest is the module's script.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_environment.h"
#include "gac/assembly_cache_client.h"
#include "hostile_fusion.h"

namespace {

namespace env = fuzz_environment;

struct HostileModule {
  HostileFusionScriptFunction setScript = nullptr;
  HostileFusionLiveObjectsFunction liveObjects = nullptr;
  AssemblyCacheClient* client = nullptr;
};

const HostileModule& Module() {
  static const HostileModule module = [] {
    HostileModule loaded;
    (void)env::TemporaryRoot();
    platform::standin::ResetRegistry();
    env::RegisterFramework("v4.0", "30319");
    const std::string path = env::InstallFusionModule("v4.0", "30319", ZT4GAC_HOSTILE_FUSION);
    // Kept open for the whole run, so the client's load finds this very instance.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    FUZZ_CHECK(handle != nullptr);
    loaded.setScript = reinterpret_cast<HostileFusionScriptFunction>(dlsym(handle, kHostileFusionScript));
    loaded.liveObjects = reinterpret_cast<HostileFusionLiveObjectsFunction>(dlsym(handle, kHostileFusionLiveObjects));
    FUZZ_CHECK(loaded.setScript != nullptr && loaded.liveObjects != nullptr);
    loaded.client = new AssemblyCacheClient();
    FUZZ_CHECK(loaded.client->LoadFusion(nullptr) == 0);
    return loaded;
  }();
  return module;
}

constexpr char kAssemblyPath[] = "C:\\Program Files\\Zt4\\bin\\netf40_32\\Ovk.Data.Zt4.dll";
constexpr char kVersionedName[] = "Ovk.Data.Zt4,File Version=9";
constexpr char kSecondAssembly[] = "Ovk.Data.Quillmor";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)Module();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const HostileModule& module = Module();
  AssemblyCacheClient& client = *module.client;
  module.setScript(data + 1, size - 1);

  const GUID scheme{0x8cedc215, 0xac4b, 0x488b, {0x93, 0xc0, 0xa5, 0x0a, 0x49, 0xcb, 0x2f, 0xb8}};
  FUSION_INSTALL_REFERENCE reference{};
  reference.cbSize = sizeof reference;
  reference.guidScheme = scheme;
  reference.szIdentifier = u"Zt4";
  reference.szNonCannonicalData = u"provider";

  int result = 0;
  switch (data[0] % 7) {
    case 0:
      result = client.InstallAssemblyFile(kAssemblyPath);
      FUZZ_CHECK(result == 0 || result == 1);
      break;
    case 1:
      result = client.InstallAssemblyFileWithReference(kAssemblyPath, scheme, "Zt4", "provider");
      FUZZ_CHECK(result == 0 || result == 1);
      break;
    case 2:
      result = client.UninstallAssemblies(kVersionedName, nullptr);
      FUZZ_CHECK(result == 0 || result == 2);
      break;
    case 3:
      result = client.UninstallAssemblies(kSecondAssembly, &reference);
      FUZZ_CHECK(result == 0 || result == 2);
      break;
    case 4:
      result = client.UninstallExactName(kVersionedName, nullptr);
      FUZZ_CHECK(result == 0 || result == 2);
      break;
    case 5:
      result = client.IsOlderVersionCached(kSecondAssembly);
      FUZZ_CHECK(result == 0 || result == 1);
      break;
    default:
      result = client.IsOlderVersionCached("");
      FUZZ_CHECK(result == 0 || result == 1);
      break;
  }
  FUZZ_CHECK(module.liveObjects() == 0);
  module.setScript(nullptr, 0);
  return 0;
}
