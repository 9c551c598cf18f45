#!/usr/bin/env bash
# The Wine end-to-end suite.
#
#   tests/wine/run.sh [CTEST-ARGS...]
#       Builds zt4gac.exe and the checker for the architecture this host can run under
#       Wine and runs the CTest label e2e. i686 (preset windows-x86, build/windows-x86)
#       where 32-bit code runs; on a host whose kernel has no IA-32 emulation the same
#       sources are built for x86_64 (build/windows-x64-wine) and run under wine64.
#       ZT4GAC_WINE_ARCH=i686|x86_64 forces the choice.
#   tests/wine/run.sh setup | teardown
#       The suite's CTest fixtures: a fresh lab (assemblies, prefixes) / stop its wineservers.
#
# Needs: wine, wine64 (and wine32:i386 for i686), mono-mcs and mono-devel (mcs -sdk:2/-sdk:4),
# g++-mingw-w64-i686 (g++-mingw-w64-x86-64-win32 for the x86_64 fallback), cmake, ninja.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

case ${1:-} in
  setup)
    source "$here/lab.sh"
    lab_stop_prefixes
    rm -rf "$LAB"
    mkdir -p "$LAB"
    lab_build_assemblies
    lab_make_prefixes
    echo "lab ready: $LAB (${PREFIXES[*]##*/}, tool $ZT4_TOOL_ARCH)"
    exit 0
    ;;
  teardown)
    source "$here/lab.sh"
    lab_stop_prefixes
    exit 0
    ;;
esac

source "$repo/scripts/wine-prefix.sh"
arch=${ZT4GAC_WINE_ARCH:-$(wine_tool_arch)}
cd "$repo"
if [[ $arch == i686 ]]; then
  build=build/windows-x86
  cmake --preset windows-x86
else
  echo "This host cannot execute 32-bit x86 code: the Wine suite runs a 64-bit build of the tool." >&2
  build=build/windows-x64-wine
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake"
fi
cmake --build "$build" -j 2
exec ctest --test-dir "$build" -L 'e2e|winplatform' --output-on-failure "$@"
