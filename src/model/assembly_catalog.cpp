#include "model/assembly_catalog.h"

// Built during static initialisation, targetTable first; never changed afterwards.
const CatalogEntry targetTable[kCatalogEntryCount] = {
    {1, "netf20", "v2.0", "Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity",
     "10.1.6.DEF.2", "10.1.6.2"},
    {2, "netf40", "v4.0", "Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity",
     "10.1.6.DEF.4", "10.1.6.4"},
};

const CatalogEntry targetTable32[kCatalogEntryCount] = {
    {1, "netf20_32", "v2.0", "Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity",
     "10.1.6.DEF.2", "10.1.6.2"},
    {2, "netf40_32", "v4.0", "Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity",
     "10.1.6.DEF.4", "10.1.6.4"},
};

bool IsSelectedByMask(const CatalogEntry& entry, uint32_t mask) {
  const auto bit = static_cast<uint32_t>(entry.frameworkBit);
  return (mask & bit) == bit;
}

bool MatchesProviderVersion(const CatalogEntry& entry, const std::string& versionPrefix) {
  // compare() takes at most providerVersion's own length, so a longer prefix never matches.
  return entry.providerVersion.compare(0, versionPrefix.size(), versionPrefix) == 0;
}

std::string AssemblyFilePath(const std::string& installDir, const CatalogEntry& entry,
                             const std::string& assemblyName) {
  const bool endsWithBackslash = !installDir.empty() && installDir.back() == '\\';
  return installDir + (endsWithBackslash ? "bin\\" : "\\bin\\") + entry.targetFolder + "\\" + assemblyName + ".dll";
}
