// The tool's fixed knowledge of the provider assemblies, one entry per .NET Framework target.
#pragma once

#include <cstdint>
#include <string>

struct CatalogEntry {
  int32_t frameworkBit;         // 1: .NET Framework 2.0 target, 2: 4.0 target
  std::string targetFolder;     // below "<installDir>\bin\"
  std::string runtimeVersion;   // "v2.0" or "v4.0", compared with the framework inventory's keys
  std::string mainAssembly;
  std::string secondAssembly;
  std::string aspAssembly;
  std::string entityAssembly;
  std::string copyValueName;    // value under "SOFTWARE\Ovk\Zt4\InstalledCopies"
  std::string providerVersion;  // matched as a prefix when the registration is withdrawn
};

constexpr int kCatalogEntryCount = 2;

// The 2.0 entry first in both; they differ only in targetFolder ("_32" folders in targetTable32).
extern const CatalogEntry targetTable[kCatalogEntryCount];
extern const CatalogEntry targetTable32[kCatalogEntryCount];

// True when `mask` selects the entry: (mask AND frameworkBit) equals frameworkBit.
bool IsSelectedByMask(const CatalogEntry& entry, uint32_t mask);

// True when versionPrefix is empty or the entry's providerVersion begins with it, byte for byte.
bool MatchesProviderVersion(const CatalogEntry& entry, const std::string& versionPrefix);

// installDir + "\bin\" (or "bin\" after a trailing "\") + targetFolder + "\" + assemblyName + ".dll".
std::string AssemblyFilePath(const std::string& installDir, const CatalogEntry& entry,
                             const std::string& assemblyName);
