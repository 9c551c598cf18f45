#include "registry/provider_registration.h"

#include <cstring>

#include "model/assembly_catalog.h"
#include "platform/registry.h"

void RecordProviderCopy(const char* copyValueName, const char* copyName) {
  platform::UniqueRegKey installedCopies;
  // A caller without the rights to write here gets nothing written and no report.
  if (platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstalledCopiesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, installedCopies.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  (void)platform::RegSetValueExA(installedCopies.get(), copyValueName, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(copyName),
                                 static_cast<DWORD>(std::strlen(copyName) + 1));
}

void ClearAssemblyFolders() {
  platform::UniqueRegKey assemblyFolders;
  if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAssemblyFoldersKeyPath, 0, KEY_QUERY_VALUE,
                              assemblyFolders.put()) != ERROR_SUCCESS) {
    return;
  }
  // A key that still has subkeys is not ours to take apart; it stays.
  (void)platform::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAssemblyFoldersKeyPath);
}

int32_t RemoveRegistration(const std::string& versionPrefix) {
  {
    platform::UniqueRegKey installedCopies;
    if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstalledCopiesKey, 0, KEY_SET_VALUE,
                                installedCopies.put()) == ERROR_SUCCESS) {
      // copyValueName and providerVersion are the same in both tables, so targetTable serves
      // whichever table the install walked.
      for (const CatalogEntry& entry : targetTable) {
        if (MatchesProviderVersion(entry, versionPrefix)) {
          (void)platform::RegDeleteValueA(installedCopies.get(), entry.copyValueName.c_str());
        }
      }
    }
  }

  platform::UniqueRegKey assemblyFolders;
  LONG result = platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAssemblyFoldersKeyPath, 0, KEY_SET_VALUE,
                                        assemblyFolders.put());
  if (result == ERROR_SUCCESS) result = platform::RegDeleteValueA(assemblyFolders.get(), kAssemblyFoldersValueName);
  return result;
}
