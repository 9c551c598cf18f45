// The Win32 types and constants the whole tool is written in. The build puts either
// win32/ (the real <windows.h>) or posix/ (the stand-in's own definitions) on the
// include path, so no other folder needs to know which platform it runs on.
#pragma once

#include <platform_types.h>
