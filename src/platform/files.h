// File system and system directories, with Win32 semantics. Paths are Windows-shaped ANSI
// strings; the stand-in maps '\' to '/' before it touches the file system.
#pragma once

#include "types.h"

namespace platform {

// Copies the Windows directory into `buffer` and returns its length; returns the needed size
// (terminator included) when it does not fit, and 0 when it cannot be obtained.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);

// The ANSI file calls take a path of at most MAX_PATH characters (in UTF-16 units, terminator not
// counted, relative or not) and refuse a longer one, even one naming an existing file, with
// ERROR_FILENAME_EXCED_RANGE.

// The short (8.3) form of an existing path: the path as written ('.', '..', a relative path and
// each separator kept), each name that has an 8.3 alias replaced by it. The length copied, the
// size needed (terminator included) when `size` is too small, or 0 when the path does not exist
// or is too long (GetLastError says which).
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);

// True when `path` names an existing file (a directory is not a file). Right for every path up
// to MAX_PATH, unlike the OpenFile existence test, which fails from 128 characters on. When
// false for a missing or too long path, GetLastError says why.
bool FileExists(LPCSTR path);

// The calling thread's last error, as the last of the calls above that failed set it; one that
// succeeds may leave it as it was.
DWORD GetLastError();

}  // namespace platform
