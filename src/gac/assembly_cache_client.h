// The tool's only road to the Global Assembly Cache: loads the newest framework's fusion.dll
// at run time and drives its assembly-cache interfaces. The inventory it derives from runs
// the framework detection again for this client.
#pragma once

#include <string>

#include "gac/fusion.h"
#include "model/framework_inventory.h"
#include "platform/modules.h"
#include "platform/types.h"

class AssemblyCacheClient : public FrameworkInventory {
 public:
  AssemblyCacheClient() = default;
  // Frees fusion.dll only when LoadFusion loaded it (also after a missing export).
  ~AssemblyCacheClient() = default;

  AssemblyCacheClient(const AssemblyCacheClient&) = delete;
  AssemblyCacheClient& operator=(const AssemblyCacheClient&) = delete;

  // Loads fusion.dll of the framework `versionTag` names (any ASCII case), or of the newest
  // one when it is null, and resolves its four entry points. 0 on success; 3 no framework,
  // 4 unknown versionTag, 6 no framework directory, 8 no fusion.dll there, 7 it cannot be
  // loaded, 9/10/11/12 CreateAssemblyCache/CreateAssemblyNameObject/CreateAssemblyEnum/
  // CreateInstallReferenceEnum not exported.
  int LoadFusion(const char* versionTag);

  // The operations below are valid only after LoadFusion returned 0. ANSI strings are in the
  // system code page and are widened before they reach fusion.dll; a null or unconvertible
  // string fails the operation with its failure code.

  // Installs the assembly file `path` with the refresh flag and no install reference.
  // 0 installed (any success code), 1 failed.
  int InstallAssemblyFile(const char* path);
  int InstallAssemblyFileW(LPCWSTR path);
  // As InstallAssemblyFile with the caller's flags and install reference (may be null).
  int InstallAssemblyFileEx(const char* path, const FUSION_INSTALL_REFERENCE* reference, DWORD flags);
  int InstallAssemblyFileExW(LPCWSTR path, const FUSION_INSTALL_REFERENCE* reference, DWORD flags);
  // Installs with the refresh flag and the reference { scheme, identifier, nonCanonicalData }.
  int InstallAssemblyFileWithReference(const char* path, GUID scheme, const char* identifier,
                                       const char* nonCanonicalData);

  // Uninstalls every cached entry that `displayName` matches, each by its own display name,
  // handing `reference` to every UninstallAssembly call unchanged. 2 when an entry could not be
  // removed (a failed call, or still in use) or its name read; otherwise 0, also when none
  // matched, and although an entry pending deletion or held by another installation's install
  // reference stays cached: the cache keeps it for its other owner, which is no failure of ours.
  int UninstallAssemblies(const char* displayName, const FUSION_INSTALL_REFERENCE* reference);
  int UninstallAssembliesW(LPCWSTR displayName, const FUSION_INSTALL_REFERENCE* reference);
  // One UninstallAssembly call with the caller's name as it stands. 0 or 2.
  int UninstallExactName(const char* displayName, const FUSION_INSTALL_REFERENCE* reference);
  int UninstallExactNameW(LPCWSTR displayName, const FUSION_INSTALL_REFERENCE* reference);

  // 1 when any cached entry `name` matches that has a simple name is older than 9.0.0.2;
  // 0 otherwise, also when nothing matches and on every failure. Entries whose name or version
  // cannot be read are passed over; the search ends at the first older entry, or when the
  // enumeration hands out no entry: at its end, or when it fails.
  int IsOlderVersionCached(const char* name);

 private:
  int UninstallOne(LPCWSTR displayName, const FUSION_INSTALL_REFERENCE* reference);
  // Loads the fusion.dll at `path` so that neither its imports nor the DLLs it asks for by name
  // later come from the tool's folder or the current directory: only from `directory`, its own
  // folder, and System32. Null when it cannot be loaded.
  HMODULE LoadFromFrameworkFolder(const std::string& directory, const std::string& path);

  // Searched for fusion.dll's DLLs while it is loaded, so declared before it: freed after it.
  platform::UniqueDllDirectory frameworkFolder;
  platform::UniqueModule fusionModule;
  CreateAssemblyCacheFunction createAssemblyCache = nullptr;
  CreateAssemblyNameObjectFunction createAssemblyNameObject = nullptr;
  CreateAssemblyEnumFunction createAssemblyEnum = nullptr;
  CreateInstallReferenceEnumFunction createInstallReferenceEnum = nullptr;
};
