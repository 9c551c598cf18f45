// The tool's one object: a framework inventory whose operations are the two commands.
#pragma once

#include <cstdint>

#include "model/framework_inventory.h"

class ProviderInstaller : public FrameworkInventory {
 public:
  // "-i": installs the provider assemblies below installDir into the GAC.
  // 0 done (or no framework), 1 a selected target failed (see *failedTargets), 3 null or
  // empty installDir, 4 fusion.dll could not be loaded.
  int32_t Install(const char* installDir, int32_t* failedTargets, uint32_t targetMask, int32_t use32BitTargets);

  // "-u": removes the provider assemblies for each ";"-separated version text (all versions when
  // null or empty) and withdraws the registration. 0 done, 1 a removal failed, 4 no fusion.dll.
  int32_t Uninstall(const char* versionList);
};
