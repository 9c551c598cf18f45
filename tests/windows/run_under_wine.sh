#!/usr/bin/env bash
# Runs a Windows test program under Wine and exits with its status.
#
#   tests/windows/run_under_wine.sh ARCH PREFIX TEMPLATES PROGRAM [ARGS...]
#
# ARCH is the program's architecture (i686 or x86_64). PREFIX is made on first use (from
# the wineboot template kept in TEMPLATES, shared with the Wine end-to-end suite) and
# reused afterwards: the tests leave nothing in it. Exits with 77 (skipped) when this host
# cannot execute the program's architecture.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-lab.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-lab.sh"

arch=$1 prefix=$2 templates=$3 program=$4
shift 4
winarch=win64
if [[ $arch == i686 ]]; then
  wine_host_runs_x86 || { echo "This host cannot execute 32-bit x86 code: the x86_64 build runs these tests." >&2; exit 77; }
  winarch=win32
fi
if [[ -f $prefix/system.reg ]]; then wine_use "$prefix" "$winarch"; else wine_make_prefix "$prefix" "$winarch" "$templates"; fi
# The server and the prefix's background programs start here, detached from CTest's output,
# which they would otherwise hold open after the test program ends.
"$WINESERVER" -p10 </dev/null >/dev/null 2>&1 || true
"$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
exec "$WINE" "$program" "$@" </dev/null
