// Text for an attached debugger; never shown to the user.
#pragma once

#include "types.h"

namespace platform {

void OutputDebugStringA(LPCSTR text);

}  // namespace platform
