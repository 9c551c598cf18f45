#include "gac/assembly_cache_client.h"

#include <string>

#include "platform/files.h"
#include "platform/text.h"

namespace {

// The address of an export as the function type the platform documents for it. The detour
// through void(*)() is the one cast between function types that compilers accept silently.
template <typename Function>
Function ResolveExport(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(platform::GetProcAddress(module, name)));
}

}  // namespace

int AssemblyCacheClient::LoadFusion(const char* versionTag) {
  if (!HasFrameworks()) return 3;

  std::string versionKey;
  if (versionTag == nullptr) {
    versionKey = GetLatestVersion();
  } else {
    versionKey = versionTag;
    platform::AsciiLowercase(versionKey);
    if (!HasVersion(versionKey)) return 4;
  }

  const std::string directory = GetFrameworkDirectory(versionKey);
  if (directory.empty()) return 6;

  // Tested before loading so that a missing file and an unloadable one stay apart (8 / 7).
  const std::string path = directory + "\\fusion.dll";
  if (!platform::FileExists(path.c_str())) return 8;

  createAssemblyCache = nullptr;
  createAssemblyNameObject = nullptr;
  createAssemblyEnum = nullptr;
  createInstallReferenceEnum = nullptr;
  fusionModule.reset(platform::LoadLibraryA(path.c_str()));
  if (!fusionModule) return 7;

  // A partly resolved module stays loaded until the client goes, as callers expect.
  createAssemblyCache = ResolveExport<CreateAssemblyCacheFunction>(fusionModule.get(), "CreateAssemblyCache");
  if (createAssemblyCache == nullptr) return 9;
  createAssemblyNameObject =
      ResolveExport<CreateAssemblyNameObjectFunction>(fusionModule.get(), "CreateAssemblyNameObject");
  if (createAssemblyNameObject == nullptr) return 10;
  createAssemblyEnum = ResolveExport<CreateAssemblyEnumFunction>(fusionModule.get(), "CreateAssemblyEnum");
  if (createAssemblyEnum == nullptr) return 11;
  createInstallReferenceEnum =
      ResolveExport<CreateInstallReferenceEnumFunction>(fusionModule.get(), "CreateInstallReferenceEnum");
  if (createInstallReferenceEnum == nullptr) return 12;
  return 0;
}
