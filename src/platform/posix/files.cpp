// POSIX stand-in for the Win32 file and system-directory calls.
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/posix/standin.h"

namespace platform {

namespace standin {
std::string ToPosixPath(const char* windowsPath) {
  std::string path = windowsPath ? windowsPath : "";
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}
}  // namespace standin

namespace {
// Copies `text` with its terminator when it fits; otherwise returns the size needed.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}
}  // namespace

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  const char* windowsDir = std::getenv("ZT4GAC_WINDOWS_DIR");
  if (windowsDir == nullptr) return 0;
  return CopyOut(windowsDir, buffer, size);
}

DWORD GetFileAttributesA(LPCSTR path) {
  if (path == nullptr || *path == '\0') return INVALID_FILE_ATTRIBUTES;
  struct stat info {};
  if (::stat(standin::ToPosixPath(path).c_str(), &info) != 0) return INVALID_FILE_ATTRIBUTES;
  return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0x80 /* FILE_ATTRIBUTE_NORMAL */;
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (longPath == nullptr) return 0;
  char resolved[PATH_MAX];
  if (::realpath(standin::ToPosixPath(longPath).c_str(), resolved) == nullptr) return 0;
  return CopyOut(resolved, shortPath, size);
}

bool FileExists(LPCSTR path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace platform
