#include "gac/assembly_cache_client.h"

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace {

// The address of an export as the function type the platform documents for it. The detour
// through void(*)() is the one cast between function types that compilers accept silently.
template <typename Function>
Function ResolveExport(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(platform::GetProcAddress(module, name)));
}

// The folders a framework's own DLLs are found in once the search is restricted: System32 and
// those the tool adds. The application's folder is left out: the tool may run from a download
// folder, or from the temporary file Windows Installer writes it to.
constexpr DWORD kDefaultDllFolders = LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS;

}  // namespace

HMODULE AssemblyCacheClient::LoadFromFrameworkFolder(const std::string& directory, const std::string& path) {
  // The current directory is the caller's, and out of every search from here on.
  (void)platform::SetDllDirectoryA("");
  std::vector<WCHAR> wideDirectory(directory.size() + 1);
  if (platform::MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, wideDirectory.data(),
                                    static_cast<int>(wideDirectory.size())) != 0 &&
      platform::SetDefaultDllDirectories(kDefaultDllFolders) != FALSE) {
    // fusion.dll may ask for its siblings by bare name long after it is loaded: the folder stays
    // searched until the module is gone.
    frameworkFolder.reset(platform::AddDllDirectory(wideDirectory.data()));
    if (frameworkFolder) {
      return platform::LoadLibraryExA(path.c_str(), nullptr,
                                      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
  }
  // A system without those calls: the module's imports come from its own folder first. What it
  // asks for later by bare name still searches the application's folder first there; nothing
  // short of those calls can take it out.
  return platform::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

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
  fusionModule.reset(LoadFromFrameworkFolder(directory, path));
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
