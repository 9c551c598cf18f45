// Windows only: MultiByteToWideChar forwards to kernel32; _stricmp and AsciiLowercase are
// portable and live in platform/text.cpp.
#include "platform/text.h"

namespace platform {

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR destination,
                        int destinationSize) {
  return ::MultiByteToWideChar(codePage, flags, source, sourceLength, destination, destinationSize);
}

}  // namespace platform
