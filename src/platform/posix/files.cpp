// POSIX stand-in for the Win32 file and system-directory calls. Paths are Windows-shaped on
// both sides of the interface; '\' becomes '/' only where the file system is touched.
#include <sys/stat.h>

#include <algorithm>
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

// Windows gives the path back as written ('.', '..', a relative path and each separator kept),
// each name as spelled on disk or, when it has one, as its 8.3 alias. Here a name is found only
// as spelled on disk and none has an alias, so an existing path is its own short form.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  struct stat info {};
  if (longPath == nullptr || *longPath == '\0' || ::stat(standin::ToPosixPath(longPath).c_str(), &info) != 0) {
    return 0;
  }
  return CopyOut(longPath, shortPath, size);
}

bool FileExists(LPCSTR path) {
  struct stat info {};
  return path != nullptr && *path != '\0' && ::stat(standin::ToPosixPath(path).c_str(), &info) == 0 &&
         !S_ISDIR(info.st_mode);
}

}  // namespace platform
