#include "cli/provider_installer.h"

// The two commands are filled in by a later change; until then they do nothing and succeed.

int32_t ProviderInstaller::Install(const char* /*installDir*/, int32_t* failedTargets, uint32_t /*targetMask*/,
                                   int32_t /*use32BitTargets*/) {
  if (failedTargets != nullptr) *failedTargets = 0;
  return 0;
}

int32_t ProviderInstaller::Uninstall(const char* /*versionList*/) { return 0; }
