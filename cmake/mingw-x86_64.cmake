# Cross build for 64-bit Windows with mingw-w64 (Debian's g++-mingw-w64-x86-64).
# Only for the Wine suite on hosts that cannot execute 32-bit x86 code at all
# (no IA-32 emulation in the kernel): there the 32-bit tool cannot start under
# any Wine, and the same sources built for x86_64 run under wine64 instead.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZT4GAC_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
