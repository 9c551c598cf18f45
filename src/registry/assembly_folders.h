// Every registry change the tool makes: the per-target record of which installed product copy
// supplied the provider assemblies, and the withdrawal of the provider's AssemblyFolders entry.
#pragma once

#include <cstdint>
#include <string>

// Sets "SOFTWARE\Ovk\Zt4\InstalledCopies" value `copyValueName` to `copyName` (REG_SZ). Failures are ignored.
void RecordProviderCopy(const char* copyValueName, const char* copyName);

// Deletes "SOFTWARE\Microsoft\.NETFramework\AssemblyFolders\OVK.DATA.ZT4" when it exists and has no
// subkeys. Failures are ignored.
void ClearAssemblyFolders();

// Deletes the copy values of the entries whose providerVersion begins with `versionPrefix` (every
// entry for ""), then the value "Ovk.Data.Zt4" of the AssemblyFolders key. Returns the Win32 code of
// the AssemblyFolders step alone: 0 when the value was deleted.
int32_t RemoveRegistration(const std::string& versionPrefix);
