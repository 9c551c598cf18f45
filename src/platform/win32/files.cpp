// Windows only: the file and system-directory calls forward to kernel32.
#include "platform/files.h"

namespace platform {

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return ::GetWindowsDirectoryA(buffer, size); }

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  return ::GetShortPathNameA(longPath, shortPath, size);
}

// GetFileAttributesA rather than OpenFile(OF_EXIST): OpenFile works on a 128-byte
// OFSTRUCT path buffer and reports existing files with longer paths as missing.
bool FileExists(LPCSTR path) {
  if (path == nullptr || *path == '\0') return false;
  const DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD GetLastError() { return ::GetLastError(); }

}  // namespace platform
