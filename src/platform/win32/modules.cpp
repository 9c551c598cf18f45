// Windows only: run-time module loading forwards to kernel32. The DLL-folder calls that older
// systems lack are looked up in kernel32 when called, never imported, so that the tool still
// starts there.
#include "platform/modules.h"

namespace platform {

namespace {

// Calls kernel32's export `name` with `args`; where the system lacks it, fails with
// ERROR_PROC_NOT_FOUND and `missing`.
template <typename Result, typename... Args>
Result CallKernel32(const char* name, Result missing, Args... args) {
  const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  FARPROC address = kernel32 != nullptr ? ::GetProcAddress(kernel32, name) : nullptr;
  if (address == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return missing;
  }
  return reinterpret_cast<Result(WINAPI*)(Args...)>(reinterpret_cast<void (*)()>(address))(args...);
}

}  // namespace

HMODULE LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) { return ::LoadLibraryExA(path, file, flags); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return ::GetProcAddress(module, name); }

BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(module); }

BOOL SetDllDirectoryA(LPCSTR path) { return ::SetDllDirectoryA(path); }

BOOL SetDefaultDllDirectories(DWORD flags) { return CallKernel32<BOOL>("SetDefaultDllDirectories", FALSE, flags); }

DLL_DIRECTORY_COOKIE AddDllDirectory(LPCWSTR directory) {
  return CallKernel32<DLL_DIRECTORY_COOKIE>("AddDllDirectory", nullptr, directory);
}

BOOL RemoveDllDirectory(DLL_DIRECTORY_COOKIE cookie) {
  return CallKernel32<BOOL>("RemoveDllDirectory", FALSE, cookie);
}

}  // namespace platform
