#!/usr/bin/env bash
# The binary we ship, run where it will run: the Wine suite (tests/wine/run.sh, every case) on the
# i686 zt4gac.exe, in a 32-bit prefix and in a 64-bit one, where it runs under WoW64 as a product
# installer runs it on 64-bit Windows. Natively where this host runs 32-bit code; elsewhere inside
# the emulated 64-bit Debian guest (scripts/guest.sh), whose kernel does. Everything but Wine's
# part is built here: the exe, the platform contract test, the test assemblies and the packages.
#
#   scripts/wine-i686.sh [--tool EXE] [TEXT]   on EXE (the release's signed zt4gac.exe) rather than the
#                                              build's; only the cases whose name holds TEXT (and no platform tests)
#
# ZT4GAC_WINE_I686_WORK names the work folder (default build/wine-i686); ZT4GAC_GUEST_LIMIT the
# seconds the guest may take (default 1500); ZT4GAC_WINE_FAIL_FAST=1 stops at the first case that
# fails (the fault-seeding script's use). Fails, saying why, unless both prefixes ran and
# every case passed; each prefix's log is WORK/win32.log and WORK/win64.log.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/wine-lab.sh
source "$repo/scripts/wine-lab.sh"
work=$(realpath -m "${ZT4GAC_WINE_I686_WORK:-$repo/build/wine-i686}")
limit=${ZT4GAC_GUEST_LIMIT:-1500}
mkdir -p "$work"
rm -rf "$work/lab" "$work"/win??.* "$work/tree"

tool=() && [[ ${1:-} == --tool ]] && tool=(--tool "$(realpath -e "$2")") && shift 2
ZT4GAC_WINE_ARCH=i686 bash "$repo/tests/wine/run.sh" --prepare "$work/lab" "${tool[@]}" \
  >"$work/prepare.log" 2>&1 || {
  echo "wine-i686: building what the suite runs failed:"
  tail -30 "$work/prepare.log"
  exit 1
}

# suite AT TREE RUNS TEMPLATES [TEXT]: the commands that run TREE's suite on the lab prepared in
# AT/lab in both prefixes side by side, each in RUNS/PREFIX with prefix templates kept in
# TEMPLATES, and leave each prefix's log and status in AT.
suite() {
  local prefix
  [[ -z ${ZT4GAC_WINE_FAIL_FAST:-} ]] || echo 'export ZT4GAC_WINE_FAIL_FAST=1'
  for prefix in win32 win64; do
    printf '(ZT4GAC_WINE_ARCH=i686 ZT4GAC_WINE_PREFIX=%s ZT4GAC_WINE_PREBUILT=%q ZT4GAC_WINE_BUILD=%q' \
      "$prefix" "$1/lab" "$3/$prefix"
    printf ' ZT4GAC_WINE_TEMPLATES=%q timeout %d bash %q' "$4" "$((limit - 60))" "$2/tests/wine/run.sh"
    printf ' %q' "${@:5}"
    printf ' >%q 2>&1; status=$?; echo $status >%q; exit $status) &\n' "$1/$prefix.log" "$1/$prefix.status"
  done
  # Told to stop at the first failure, the guest need not wait for the other prefix then.
  [[ -n ${ZT4GAC_WINE_FAIL_FAST:-} ]] && echo 'wait -n && wait -n' || echo wait
}

if wine_host_runs_x86; then
  echo "wine-i686: the shipped i686 zt4gac.exe, natively, in a 32-bit prefix and under WoW64"
  bash -c "$(suite "$work" "$repo" "$work/run" "$work/templates" "$@")"
else
  echo "wine-i686: this host runs no 32-bit code: the shipped i686 zt4gac.exe in the emulated guest," \
    "in a 32-bit prefix and under WoW64"
  # The guest reads the suite from the tree it was asked about, not from its own image.
  mkdir -p "$work/tree/tests" "$work/tree/scripts/guest"
  cp -r "$repo/tests/wine" "$work/tree/tests/" &&
    cp "$repo/scripts/wine-lab.sh" "$repo/scripts/wine-suite.sh" "$work/tree/scripts/" &&
    cp "$repo/scripts/guest/wine-prefix.sh" "$work/tree/scripts/guest/"
  suite /job /job/tree /tmp /opt/zt4gac-wine "$@" >"$work/job.sh"
  start=$SECONDS
  bash "$repo/scripts/guest.sh" run "$work" "$limit" || { echo "wine-i686: the guest failed (above)"; exit 1; }
  echo "wine-i686: the guest ran the suite in $((SECONDS - start)) s"
fi

status=0
for prefix in win32 win64; do
  what="i686 zt4gac.exe, $prefix prefix" && [[ $prefix == win64 ]] && what+=" (WoW64)"
  result=$(tail -1 "$work/$prefix.log" 2>/dev/null)
  if [[ $(cat "$work/$prefix.status" 2>/dev/null) == 0 && $result == "wine: "*" passed, 0 failed" ]]; then
    echo "$what: $result"
    continue
  fi
  status=1
  echo "$what: FAILED (status $(cat "$work/$prefix.status" 2>/dev/null || echo none)); its log:"
  sed 's/^/  /' "$work/$prefix.log" 2>/dev/null || echo "  (no log came back)"
done
exit "$status"
