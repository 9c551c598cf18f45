// Run-time loading of modules (DLLs on Windows, shared objects on the stand-in), and the folders
// the loader searches.
//
// Loading a library by its full path still resolves its imports, and every later load by bare
// name, through the process's search order: the application's folder first and, unless it is
// taken out, the current directory. For a tool that runs as LocalSystem from a download folder or
// a temporary file, both are places someone else may have written a DLL into.
#pragma once

#include "types.h"
#include "unique_handle.h"

namespace platform {

// The loaded module, or null (GetLastError says why). `file` must be null. The search flags
// (LOAD_LIBRARY_SEARCH_*) need a full path, and do not go with LOAD_WITH_ALTERED_SEARCH_PATH;
// where the system lacks SetDefaultDllDirectories it knows no search flag either. Each refusal is
// ERROR_INVALID_PARAMETER.
HMODULE LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags);

// The exported symbol's address, or null when the module does not export it.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

BOOL FreeLibrary(HMODULE module);

// "" takes the current directory out of the search order for the rest of the process.
BOOL SetDllDirectoryA(LPCSTR path);

// The calls below come with Windows 8, and with the loader update of Windows Vista and 7; they are
// looked up when called, so the tool still starts where they are missing. There each fails with
// ERROR_PROC_NOT_FOUND.

// Limits the folders of every later load that names no search flag to `flags`, a combination of
// LOAD_LIBRARY_SEARCH_APPLICATION_DIR, _USER_DIRS, _SYSTEM32 and _DEFAULT_DIRS (anything else:
// ERROR_INVALID_PARAMETER).
BOOL SetDefaultDllDirectories(DWORD flags);
// Adds a folder, given by its full path, to those LOAD_LIBRARY_SEARCH_USER_DIRS names; null with
// ERROR_INVALID_PARAMETER for a relative path.
DLL_DIRECTORY_COOKIE AddDllDirectory(LPCWSTR directory);
BOOL RemoveDllDirectory(DLL_DIRECTORY_COOKIE cookie);

struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  // Qualified: argument-dependent lookup on HMODULE would also find <windows.h>'s ::FreeLibrary.
  static void Close(HMODULE module) { (void)platform::FreeLibrary(module); }
};

using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;

struct DllDirectoryTraits {
  static DLL_DIRECTORY_COOKIE Invalid() { return nullptr; }
  static void Close(DLL_DIRECTORY_COOKIE cookie) { (void)platform::RemoveDllDirectory(cookie); }
};

using UniqueDllDirectory = UniqueHandle<DLL_DIRECTORY_COOKIE, DllDirectoryTraits>;

}  // namespace platform
