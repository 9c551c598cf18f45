// The "-u" command: removes the provider assemblies from the GAC and withdraws the registration.
#include <string>

#include "cli/provider_installer.h"
#include "gac/assembly_cache_client.h"
#include "registry/provider_registration.h"

namespace {

const char* const kMainAssembly = "Ovk.Data.Zt4";
const char* const kSecondAssembly = "Ovk.Data.Quillmor";
const char* const kAspAssembly = "Ovk.Data.Zt4.ASP";
const char* const kEntityAssembly = "Ovk.Data.Zt4.Entity";

std::string VersionedName(const char* assembly, const std::string& version) {
  return std::string(assembly) + ",File Version=" + version;
}

}  // namespace

int32_t ProviderInstaller::Uninstall(const char* versionList) {
  std::string workingList;
  AssemblyCacheClient cache;
  if (HasFrameworks() == 0) return 0;
  if (cache.LoadFusion(nullptr) != 0) return 4;
  if (versionList != nullptr && versionList[0] != '\0') workingList = versionList;

  // Any failed removal fails the command, not only the last one.
  bool anyFailed = false;
  auto remove = [&](const std::string& displayName) {
    if (cache.UninstallAssemblies(displayName.c_str(), nullptr) != 0) anyFailed = true;
  };

  if (workingList.empty()) {
    remove(kMainAssembly);
    remove(kSecondAssembly);
    remove(kAspAssembly);
    remove(kEntityAssembly);
    (void)RemoveRegistration("");
    return anyFailed ? 1 : 0;
  }

  do {
    std::string item;
    const size_t separator = workingList.find(';');
    if (separator == std::string::npos) {
      item = workingList;
      workingList.clear();
    } else {
      item = workingList.substr(0, separator);
      workingList.erase(0, separator + 1);
    }
    if (item.empty()) continue;

    remove(VersionedName(kMainAssembly, item));
    // An older provider for the second product is cached: the product still relies on it.
    if (cache.IsOlderVersionCached(kSecondAssembly) == 0) remove(VersionedName(kSecondAssembly, item));
    remove(VersionedName(kAspAssembly, item));
    remove(VersionedName(kEntityAssembly, item));
    (void)RemoveRegistration(item);
  } while (!workingList.empty());

  return anyFailed ? 1 : 0;
}
