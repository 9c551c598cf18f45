// Windows only: run-time module loading forwards to kernel32. The DLL-folder calls that older
// systems lack are looked up in kernel32 when called, never imported, so that the tool still
// starts there.
#include "platform/modules.h"

namespace platform {

namespace {

template <typename Function>
Function Kernel32Export(const char* name) {
  const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(kernel32, name)));
}

}  // namespace

HMODULE LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) { return ::LoadLibraryExA(path, file, flags); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return ::GetProcAddress(module, name); }

BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(module); }

BOOL SetDllDirectoryA(LPCSTR path) { return ::SetDllDirectoryA(path); }

BOOL SetDefaultDllDirectories(DWORD flags) {
  const auto call = Kernel32Export<BOOL(WINAPI*)(DWORD)>("SetDefaultDllDirectories");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(flags);
}

DLL_DIRECTORY_COOKIE AddDllDirectory(LPCWSTR directory) {
  const auto call = Kernel32Export<DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR)>("AddDllDirectory");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return call(directory);
}

BOOL RemoveDllDirectory(DLL_DIRECTORY_COOKIE cookie) {
  const auto call = Kernel32Export<BOOL(WINAPI*)(DLL_DIRECTORY_COOKIE)>("RemoveDllDirectory");
  if (call == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return call(cookie);
}

}  // namespace platform
