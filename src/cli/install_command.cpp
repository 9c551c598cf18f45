// The "-i" command: installs the provider assemblies found below an installation directory.
#include <cstring>
#include <string>

#include "cli/provider_installer.h"
#include "copies/install_copy_list.h"
#include "gac/assembly_cache_client.h"
#include "model/assembly_catalog.h"
#include "platform/files.h"
#include "registry/provider_registration.h"

namespace {

constexpr size_t kCopyNameSize = 64;

// The name of the installed product copy that owns `installDir`, or "" when none does or its
// name does not fit the record.
std::string OwningCopyName(const char* installDir) {
  char copyName[kCopyNameSize] = {};
  if (installDir == nullptr) return copyName;
  InstallCopyList copies(false, false);
  InstallCopy* owner = nullptr;
  if (copies.FindCopyByPath(installDir, &owner) == 0 && owner != nullptr) {
    (void)owner->GetName(copyName, sizeof copyName);
  }
  return copyName;
}

}  // namespace

int32_t ProviderInstaller::Install(const char* installDir, int32_t* failedTargets, uint32_t targetMask,
                                   int32_t use32BitTargets) {
  const std::string copyName = OwningCopyName(installDir);

  int32_t failed = 0;
  if (failedTargets != nullptr) *failedTargets = 0;
  if (installDir == nullptr || installDir[0] == '\0') return 3;
  if (HasFrameworks() == 0) return 0;

  AssemblyCacheClient cache;
  if (cache.LoadFusion(nullptr) != 0) return 4;

  const CatalogEntry* table = use32BitTargets != 0 ? targetTable32 : targetTable;
  for (int index = 0; index < kCatalogEntryCount; ++index) {
    const CatalogEntry entry = table[index];
    if (!IsSelectedByMask(entry, targetMask)) continue;
    if (IsVersionSupported(entry.runtimeVersion) == 0) continue;

    // Only what this target itself installed may be recorded as supplied by the copy.
    bool installedAny = false;
    const std::string* const assemblies[] = {&entry.mainAssembly, &entry.secondAssembly, &entry.aspAssembly,
                                             &entry.entityAssembly};
    for (const std::string* assembly : assemblies) {
      if (assembly->empty()) continue;
      // An older provider for the second product is cached: the product still relies on it.
      if (assembly == &entry.secondAssembly && cache.IsOlderVersionCached(assembly->c_str()) != 0) continue;

      const std::string path = AssemblyFilePath(installDir, entry, *assembly);
      if (!platform::FileExists(path.c_str())) {
        // Only the Entity Framework provider is required of every installation.
        if (assembly == &entry.entityAssembly) failed |= entry.frameworkBit;
        continue;
      }
      if (cache.InstallAssemblyFile(path.c_str()) != 0) {
        failed |= entry.frameworkBit;
      } else {
        installedAny = true;
      }
    }
    if (installedAny && !copyName.empty()) {
      RecordProviderCopy(entry.copyValueName.c_str(), copyName.c_str());
    }
  }

  if (failedTargets != nullptr) *failedTargets = failed;
  if (failed != 0) return 1;
  ClearAssemblyFolders();
  return 0;
}
