// Windows only: debugger output forwards to kernel32.
#include "platform/debug.h"

namespace platform {

void OutputDebugStringA(LPCSTR text) { ::OutputDebugStringA(text); }

}  // namespace platform
