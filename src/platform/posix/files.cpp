// POSIX stand-in for the Win32 file and system-directory calls. Paths are Windows-shaped on
// both sides of the interface; '\' becomes '/' only where the file system is touched.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/posix/standin.h"
#include "platform/text.h"

namespace platform {

namespace standin {
std::string ToPosixPath(const char* windowsPath) {
  std::string path = windowsPath != nullptr ? windowsPath : "";
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}
}  // namespace standin

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;

// A failed call's result, with the error it leaves for GetLastError.
template <typename Result>
Result Fail(DWORD error, Result result) {
  lastError = error;
  return result;
}

// The ANSI calls convert the path into a buffer of MAX_PATH + 1 UTF-16 units, terminator included,
// and refuse what does not fit before they look at the file system.
bool FitsPathBuffer(LPCSTR path) { return MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0) <= int{MAX_PATH} + 1; }

// What GetFileAttributesA says of a path stat could not reach: ERROR_FILE_NOT_FOUND when only its
// last name is missing, ERROR_PATH_NOT_FOUND when a directory on the way is missing or is a file.
DWORD StatError(const std::string& posixPath, int error) {
  if (error == EACCES) return ERROR_ACCESS_DENIED;
  if (error == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  const size_t end = posixPath.find_last_not_of('/');
  const size_t slash = end == std::string::npos ? std::string::npos : posixPath.rfind('/', end);
  const std::string parent = slash == std::string::npos ? "." : posixPath.substr(0, std::max<size_t>(slash, 1));
  struct stat info {};
  return ::stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

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
// as spelled on disk and none has an alias, so an existing path is its own short form. Whatever
// hides the path, Wine answers ERROR_FILE_NOT_FOUND, and ERROR_BAD_PATHNAME to no path at all.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (longPath == nullptr || *longPath == '\0') return Fail<DWORD>(ERROR_BAD_PATHNAME, 0);
  if (!FitsPathBuffer(longPath)) return Fail<DWORD>(ERROR_FILENAME_EXCED_RANGE, 0);
  struct stat info {};
  if (::stat(standin::ToPosixPath(longPath).c_str(), &info) != 0) {
    return Fail<DWORD>(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND, 0);
  }
  return CopyOut(longPath, shortPath, size);
}

// As the Windows layer, which asks GetFileAttributesA: no path is no call, so no error either.
bool FileExists(LPCSTR path) {
  if (path == nullptr || *path == '\0') return false;
  if (!FitsPathBuffer(path)) return Fail(ERROR_FILENAME_EXCED_RANGE, false);
  const std::string posixPath = standin::ToPosixPath(path);
  struct stat info {};
  if (::stat(posixPath.c_str(), &info) != 0) return Fail(StatError(posixPath, errno), false);
  return !S_ISDIR(info.st_mode);
}

DWORD GetLastError() { return lastError; }

void standin::SetLastError(DWORD error) { lastError = error; }

}  // namespace platform
