// POSIX stand-in for run-time module loading: dlopen, dlsym and dlclose, with a count of the
// modules still loaded so that tests can check each one is freed. The DLL search calls refuse what
// Windows refuses and record what they were asked, for tests to read; the search itself is
// dlopen's, which takes every path as given.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/modules.h"
#include "platform/posix/standin.h"

namespace platform {

namespace {

int loadedModules = 0;

constexpr DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                               LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                               LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;

struct DllSearchModel {
  bool callsPresent = true;
  standin::DllSearch search;
  std::map<uintptr_t, std::string> added;
  uintptr_t nextCookie = 1;
};

DllSearchModel& Model() {
  static DllSearchModel model;
  return model;
}

// A drive path ("C:\..."), a network path ("\\server\...") or, on the stand-in, a POSIX one.
bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return !path.empty() && (path[0] == '/' || path.rfind("\\\\", 0) == 0);
}

template <typename Result>
Result Fail(DWORD error, Result result) {
  standin::SetLastError(error);
  return result;
}

}  // namespace

// cppcheck-suppress constParameter ; HANDLE is an opaque Win32 handle type, compared and never dereferenced
HMODULE LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) {
  if (path == nullptr || file != nullptr) return Fail<HMODULE>(ERROR_INVALID_PARAMETER, nullptr);
  const DWORD search = flags & kSearchFlags;
  if (search != 0 && (!Model().callsPresent || (flags & LOAD_WITH_ALTERED_SEARCH_PATH) != 0))
    return Fail<HMODULE>(ERROR_INVALID_PARAMETER, nullptr);
  if ((flags & LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR) != 0 && !IsFullPath(path))
    return Fail<HMODULE>(ERROR_INVALID_PARAMETER, nullptr);
  Model().search.lastLoadFlags = flags;
  const std::string posixPath = standin::ToPosixPath(path);
  auto* module = static_cast<HMODULE>(::dlopen(posixPath.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (module == nullptr) {
    struct stat info {};
    return Fail<HMODULE>(::stat(posixPath.c_str(), &info) == 0 ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND, nullptr);
  }
  ++loadedModules;
  return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<FARPROC>(::dlsym(module, name));
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr || ::dlclose(module) != 0) return FALSE;
  --loadedModules;
  return TRUE;
}

BOOL SetDllDirectoryA(LPCSTR path) {
  Model().search.currentDirectoryOut = path != nullptr && *path == '\0';
  return TRUE;
}

BOOL SetDefaultDllDirectories(DWORD flags) {
  if (!Model().callsPresent) return Fail<BOOL>(ERROR_PROC_NOT_FOUND, FALSE);
  const DWORD allowed = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                        LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  if (flags == 0 || (flags & ~allowed) != 0) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  Model().search.defaultFolders = flags;
  return TRUE;
}

DLL_DIRECTORY_COOKIE AddDllDirectory(LPCWSTR directory) {
  if (!Model().callsPresent) return Fail<DLL_DIRECTORY_COOKIE>(ERROR_PROC_NOT_FOUND, nullptr);
  std::string narrow;  // the test folders are ASCII; anything else is kept as '?'
  for (LPCWSTR unit = directory; unit != nullptr && *unit != 0; ++unit) narrow += *unit < 0x80 ? char(*unit) : '?';
  if (!IsFullPath(narrow)) return Fail<DLL_DIRECTORY_COOKIE>(ERROR_INVALID_PARAMETER, nullptr);
  const uintptr_t cookie = Model().nextCookie++;
  Model().added[cookie] = narrow;
  return reinterpret_cast<DLL_DIRECTORY_COOKIE>(cookie);
}

BOOL RemoveDllDirectory(DLL_DIRECTORY_COOKIE cookie) {
  if (!Model().callsPresent) return Fail<BOOL>(ERROR_PROC_NOT_FOUND, FALSE);
  if (Model().added.erase(reinterpret_cast<uintptr_t>(cookie)) == 0) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  return TRUE;
}

namespace standin {

int LoadedModuleCount() { return loadedModules; }

void ResetDllSearch(bool callsPresent) {
  Model() = DllSearchModel{};
  Model().callsPresent = callsPresent;
}

DllSearch CurrentDllSearch() {
  DllSearch search = Model().search;
  for (const auto& [cookie, directory] : Model().added) search.addedFolders.push_back(directory);
  return search;
}

}  // namespace standin

}  // namespace platform
