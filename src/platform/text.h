// Text conversion and comparison. ANSI strings are in the system code page (UTF-8 on the
// stand-in); wide strings are UTF-16.
#pragma once

#include <string>

#include "types.h"

namespace platform {

// Win32 MultiByteToWideChar: converts `sourceLength` bytes (-1: through the terminator,
// which is converted too) and returns the UTF-16 units written, or the units needed when
// `destinationSize` is 0; 0 on failure, also when the destination is too small.
// Without MB_ERR_INVALID_CHARS an invalid sequence becomes U+FFFD.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR destination,
                        int destinationSize);

// ASCII-only, locale-free, unsigned-byte comparison that folds 'A'-'Z' to 'a'-'z'.
int _stricmp(const char* left, const char* right);

// Lowers 'A'-'Z' to 'a'-'z' and leaves every other byte as it is; no locale is consulted.
void AsciiLowercase(std::string& text);
void AsciiLowercase(char* text);

}  // namespace platform
