// Registry access with the Win32 contract: every call returns a Win32 error code
// (ERROR_SUCCESS on success) and names and data are ANSI byte strings. After a failed call
// the out-parameters hold nothing to rely on (Windows may clear a handle or a type), so
// callers read them only on success.
#pragma once

#include "types.h"
#include "unique_handle.h"

namespace platform {

// 0 and the key in *result when it exists and `access` is granted; on failure nothing to close.
[[nodiscard]] LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);

// Opens the key, creating it and any missing parents first.
[[nodiscard]] LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                   REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                   LPDWORD disposition);

// The index-th subkey name; ERROR_NO_MORE_ITEMS past the last; ERROR_MORE_DATA when the name
// and its terminator do not fit *nameLength characters. On success *nameLength is the name's length.
[[nodiscard]] LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                                 LPSTR keyClass, LPDWORD classLength, PFILETIME lastWriteTime);

// The index-th value name (and optionally type and data), with the same length rules.
[[nodiscard]] LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                                 LPDWORD type, LPBYTE data, LPDWORD dataLength);

// The value's type and bytes; ERROR_MORE_DATA (with the needed size in *dataLength) when they do not fit.
[[nodiscard]] LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                    LPDWORD dataLength);

// Creates the value or overwrites it; needs KEY_SET_VALUE on the handle.
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataLength);

// Deletes a key that has no subkeys, with its values; ERROR_ACCESS_DENIED when it has subkeys.
LONG RegDeleteKeyA(HKEY root, LPCSTR subKey);

// Deletes one value; ERROR_FILE_NOT_FOUND when it is absent.
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);

LONG RegCloseKey(HKEY key);

struct RegistryKeyTraits {
  static HKEY Invalid() { return nullptr; }
  // Qualified: argument-dependent lookup on HKEY would also find <windows.h>'s ::RegCloseKey.
  static void Close(HKEY key) { (void)platform::RegCloseKey(key); }
};

// An open registry key, closed on every way out of the scope that holds it.
using UniqueRegKey = UniqueHandle<HKEY, RegistryKeyTraits>;

}  // namespace platform
