// Every registry change the tool makes, and the keys it makes them in: the per-target record of
// which installed product copy supplied the provider assemblies, and the withdrawal of the
// provider's AssemblyFolders entry.
#pragma once

#include <cstdint>
#include <string>

// Below HKEY_LOCAL_MACHINE: one subkey per installed copy, and the values that record which copy
// supplied the provider assemblies of each .NET Framework target.
constexpr const char kInstalledCopiesKey[] = "SOFTWARE\\Ovk\\Zt4\\InstalledCopies";

// Below HKEY_LOCAL_MACHINE: the provider's AssemblyFolders key, and its value that names the folder.
constexpr const char kAssemblyFoldersKeyPath[] = "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4";
constexpr const char kAssemblyFoldersValueName[] = "Ovk.Data.Zt4";

// Sets the InstalledCopies value `copyValueName` to `copyName` (REG_SZ). Failures are ignored.
void RecordProviderCopy(const char* copyValueName, const char* copyName);

// Deletes the AssemblyFolders key when it exists and has no subkeys. Failures are ignored.
void ClearAssemblyFolders();

// Deletes the copy values of the entries whose providerVersion begins with `versionPrefix` (every
// entry for ""), then the AssemblyFolders value. Returns the Win32 code of the AssemblyFolders
// step alone: 0 when the value was deleted.
int32_t RemoveRegistration(const std::string& versionPrefix);
