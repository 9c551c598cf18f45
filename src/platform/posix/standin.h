// POSIX stand-in only: what tests can see of the stand-in platform beyond the Win32 API.
#pragma once

#include <string>

namespace platform::standin {

// Everything sent to OutputDebugStringA since the last call, in order; clears the sink.
std::string TakeDebugOutput();

// Turns a Windows-shaped path into the POSIX path the stand-in touches ('\' becomes '/').
std::string ToPosixPath(const char* windowsPath);

}  // namespace platform::standin
