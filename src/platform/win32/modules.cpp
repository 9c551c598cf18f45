// Windows only: run-time module loading forwards to kernel32.
#include "platform/modules.h"

namespace platform {

HMODULE LoadLibraryA(LPCSTR path) { return ::LoadLibraryA(path); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return ::GetProcAddress(module, name); }

BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(module); }

}  // namespace platform
