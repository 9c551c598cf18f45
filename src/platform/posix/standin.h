// POSIX stand-in only: what tests can see and steer of the stand-in platform beyond the Win32 calls.
//
// Where the registry comes from: at the first registry call of a process the stand-in loads the
// file named by ZT4GAC_REGISTRY (LoadRegistryFile); unset, the registry is empty and in memory only.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace platform::standin {

// The first line of the regedit text that ZT4GAC_REGISTRY and LoadRegistryText take.
inline constexpr char kRegeditHeader[] = "Windows Registry Editor Version 5.00";

// An empty registry in memory only, no faults, HKEY_LOCAL_MACHINE writable; handles still held become
// unknown and the open-handle count is 0. ZT4GAC_REGISTRY is not read afterwards (tests never write a
// developer's file).
void ResetRegistry();
// What the host binary does with ZT4GAC_REGISTRY: replaces the registry with the file's contents
// and writes every later change back to it (a missing file is created at the first change). False
// when the file is unreadable or malformed: the registry is then empty and the file never written.
bool LoadRegistryFile(const std::string& path);
// Merges regedit version-5 text (the ZT4GAC_REGISTRY format, header line included) into the registry;
// false when malformed (nothing merged).
bool LoadRegistryText(const std::string& text);
// The whole registry in that format, keys in a stable sorted order, for assertions.
std::string ExportRegistry();
// Creates the key (and parents); stores `bytes` as given (a string value's terminator is the caller's
// to include). Like the other hooks here, it is not bound by the access rules the calls obey.
void SetRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                      const std::string& bytes);
bool RegistryKeyExists(HKEY root, const std::string& keyPath);
// A REG_SZ value's text up to its first NUL; false when absent or of another type.
bool ReadRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string* text);
// Every open, create or delete of that key gives ERROR_ACCESS_DENIED (key paths compare
// case-insensitively, as in Win32).
void DenyRegistryAccess(HKEY root, const std::string& keyPath);
// True: HKEY_LOCAL_MACHINE as a caller without administrator rights has it, readable but not
// writable. Opening or creating a key below it with any right beyond KEY_READ (KEY_SET_VALUE,
// KEY_CREATE_SUB_KEY, KEY_ALL_ACCESS, DELETE ...), creating a missing key whatever the access, and
// RegDeleteKeyA below it give ERROR_ACCESS_DENIED; a key that does not exist still gives
// ERROR_FILE_NOT_FOUND to RegOpenKeyExA and RegDeleteKeyA. ResetRegistry sets it back to false.
void SetLocalMachineReadOnly(bool readOnly);
// RegEnumKeyExA and RegEnumValueA on that key at that index return `code`.
void FailRegistryEnumeration(HKEY root, const std::string& keyPath, DWORD index, LONG code);
// Registry handles opened or created and not yet closed (predefined roots do not count).
int OpenRegistryHandleCount();
// Modules loaded by LoadLibraryExA and not yet freed by FreeLibrary.
int LoadedModuleCount();
// The process's DLL search as SetDllDirectoryA, SetDefaultDllDirectories, AddDllDirectory (less
// RemoveDllDirectory) and the last LoadLibraryExA that got past its checks left it.
struct DllSearch {
  bool currentDirectoryOut = false;
  DWORD defaultFolders = 0;  // 0: never restricted
  std::vector<std::string> addedFolders;
  DWORD lastLoadFlags = 0;
};
DllSearch CurrentDllSearch();
// The search as a process starts with it. `callsPresent` false: a system without
// SetDefaultDllDirectories, AddDllDirectory and RemoveDllDirectory (ERROR_PROC_NOT_FOUND), whose
// LoadLibraryExA knows no search flag.
void ResetDllSearch(bool callsPresent = true);
// The error the next GetLastError gives, as the failing stand-in call leaves it.
void SetLastError(DWORD error);
// Everything sent to OutputDebugStringA since the last call, in order; clears it.
std::string TakeDebugOutput();
// The POSIX path the stand-in touches for a Windows-shaped one ('\' becomes '/').
std::string ToPosixPath(const char* windowsPath);

}  // namespace platform::standin
