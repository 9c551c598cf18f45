// POSIX stand-in for run-time module loading: dlopen/dlsym/dlclose.
#include <dlfcn.h>

#include "platform/modules.h"
#include "platform/posix/standin.h"

namespace platform {

HMODULE LoadLibraryA(LPCSTR path) {
  if (path == nullptr) return nullptr;
  return static_cast<HMODULE>(::dlopen(standin::ToPosixPath(path).c_str(), RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<FARPROC>(::dlsym(module, name));
}

BOOL FreeLibrary(HMODULE module) { return module != nullptr && ::dlclose(module) == 0 ? TRUE : FALSE; }

}  // namespace platform
