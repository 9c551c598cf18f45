// POSIX stand-in for the Win32 file and system-directory calls. Paths are Windows-shaped on
// both sides of the interface; '\' becomes '/' only where the file system is touched.
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
  std::string path = windowsPath != nullptr ? windowsPath : "";
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}
}  // namespace standin

namespace {
// Copies `text` with its terminator and returns its length; when it does not fit, the size needed.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}
}  // namespace

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  const char* windowsDir = std::getenv("ZT4GAC_WINDOWS_DIR");
  return windowsDir == nullptr ? 0 : CopyOut(windowsDir, buffer, size);
}

// The canonical path stands in for the 8.3 name: two spellings of one directory give one
// result. As on Windows, a trailing separator is kept and '\' separates the names.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  char resolved[PATH_MAX];
  const std::string path = standin::ToPosixPath(longPath);
  if (path.empty() || ::realpath(path.c_str(), resolved) == nullptr) return 0;
  std::string result = resolved;
  if (path.back() == '/' && result.back() != '/') result += '/';
  std::replace(result.begin(), result.end(), '/', '\\');
  return CopyOut(result, shortPath, size);
}

bool FileExists(LPCSTR path) {
  struct stat info {};
  return path != nullptr && *path != '\0' && ::stat(standin::ToPosixPath(path).c_str(), &info) == 0 &&
         !S_ISDIR(info.st_mode);
}

}  // namespace platform
