// POSIX stand-in for run-time module loading: dlopen, dlsym and dlclose, with a count of the
// modules still loaded so that tests can check each one is freed.
#include <dlfcn.h>

#include "platform/modules.h"
#include "platform/posix/standin.h"

namespace platform {

namespace {
int loadedModules = 0;
}  // namespace

HMODULE LoadLibraryA(LPCSTR path) {
  if (path == nullptr) return nullptr;
  auto* module = static_cast<HMODULE>(::dlopen(standin::ToPosixPath(path).c_str(), RTLD_NOW | RTLD_LOCAL));
  if (module != nullptr) ++loadedModules;
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

namespace standin {
int LoadedModuleCount() { return loadedModules; }
}  // namespace standin

}  // namespace platform
