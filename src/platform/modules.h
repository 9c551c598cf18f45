// Run-time loading of modules (DLLs on Windows, shared objects on the stand-in).
#pragma once

#include "types.h"
#include "unique_handle.h"

namespace platform {

// The loaded module, or null when it cannot be loaded.
HMODULE LoadLibraryA(LPCSTR path);

// The exported symbol's address, or null when the module does not export it.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

BOOL FreeLibrary(HMODULE module);

struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  // Qualified: argument-dependent lookup on HMODULE would also find <windows.h>'s ::FreeLibrary.
  static void Close(HMODULE module) { (void)platform::FreeLibrary(module); }
};

using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;

}  // namespace platform
