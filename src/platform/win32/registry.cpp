// Windows only: the registry calls forward to advapi32 unchanged.
#include "platform/registry.h"

namespace platform {

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  return ::RegOpenKeyExA(root, subKey, options, access, result);
}

LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
  return ::RegCreateKeyExA(root, subKey, reserved, keyClass, options, access, security, result, disposition);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classLength, PFILETIME lastWriteTime) {
  return ::RegEnumKeyExA(key, index, name, nameLength, reserved, keyClass, classLength, lastWriteTime);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD dataLength) {
  return ::RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataLength);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength) {
  return ::RegQueryValueExA(key, valueName, reserved, type, data, dataLength);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataLength) {
  return ::RegSetValueExA(key, valueName, reserved, type, data, dataLength);
}

LONG RegDeleteKeyA(HKEY root, LPCSTR subKey) { return ::RegDeleteKeyA(root, subKey); }

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) { return ::RegDeleteValueA(key, valueName); }

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

}  // namespace platform
