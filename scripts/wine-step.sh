#!/usr/bin/env bash
# The Wine end-to-end suite (tests/wine/run.sh, every case) on the zt4gac.exe we ship, where it will
# run: in a 32-bit prefix, and in a 64-bit one where it runs under WoW64 as a product's installer runs
# it on 64-bit Windows. Where that happens here is decided once, by wine_where (scripts/wine-lab.sh):
#   native  this host runs 32-bit code: both prefixes side by side, here;
#   guest   it does not: the same, inside the emulated 64-bit Debian guest (scripts/guest.sh);
#   x86_64  not shipped: the same sources built for x86_64, in a 64-bit prefix, here (a quick look
#           where the guest is not wanted; ZT4GAC_WINE_WHERE=x86_64).
# Everything but Wine's part is built here (tests/wine/run.sh --prepare); scripts/wine-prefixes.sh
# runs the prefixes, natively and in the guest alike.
#
#   scripts/wine-step.sh [--work DIR] [--fail-fast] [--tool EXE] [TEXT]
#     --work DIR   the step's folder (default build/wine-step): the lab, the plan, each prefix's log
#                  (PREFIX.log) and the summary (summary.log)
#     --fail-fast  the first case that fails ends the run
#     --tool EXE   the suite runs EXE (the release's signed zt4gac.exe) rather than the build's
#     TEXT         only the cases whose name holds TEXT, and no platform tests
# Fails, saying why, unless every prefix ran every case and all passed.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/wine-lab.sh
source "$repo/scripts/wine-lab.sh"
work=$repo/build/wine-step fail_fast= tool=
while [[ ${1:-} == --* ]]; do
  case $1 in
    --work) work=$(realpath -m "$2") && shift ;;
    --fail-fast) fail_fast=1 ;;
    --tool) tool=$(realpath -e "$2") && shift ;;
  esac
  shift
done
# The guest emulates every instruction: its two prefixes side by side have taken over 25 minutes
# on two busy cores.
where=$(wine_where) arch=i686 prefixes='win32 win64' limit=1500
[[ $where != guest ]] || limit=3000
if [[ $where == x86_64 ]]; then
  arch=x86_64 prefixes=win64
  [[ -z $tool ]] || echo "wine-step: the x86_64 build runs, not $tool (an i686 exe)"
  tool=
fi
echo "wine-step: the $arch zt4gac.exe${tool:+ ($tool)}, $where, in the prefixes $prefixes"
mkdir -p "$work"
rm -rf "$work/lab" "$work/tree" "$work"/*.log "$work"/*.result "$work/plan"
bash "$repo/tests/wine/run.sh" --prepare "$work/lab" "$arch" ${tool:+"$tool"} >"$work/prepare.log" 2>&1 || {
  echo "wine-step: building what the suite runs failed ($work/prepare.log):"
  tail -30 "$work/prepare.log"
  exit 1
}

# plan TEMPLATES RUNS TEXT: the plan scripts/wine-prefixes.sh reads, with the folders of where it runs.
plan() {
  printf '%s\n' "prefixes=$prefixes" "templates=$1" "runs=$2" "limit=$((limit - 120))" "fail_fast=$fail_fast" \
    "only=$3" >"$work/plan"
}
start=$SECONDS
if [[ $where == guest ]]; then
  # The guest runs the suite from the tree under test, not from its image, with the image's templates.
  mkdir -p "$work/tree/tests" "$work/tree/scripts/guest"
  cp -r "$repo/tests/wine" "$work/tree/tests/" && cp "$repo/scripts/guest/wine-prefix.sh" "$work/tree/scripts/guest/" &&
    cp "$repo"/scripts/wine-{lab,suite,prefixes}.sh "$work/tree/scripts/" || exit 1
  plan /opt/zt4gac-wine /tmp "${1:-}"
  echo 'bash /job/tree/scripts/wine-prefixes.sh /job >/job/summary.log 2>&1' >"$work/job.sh"
  bash "$repo/scripts/guest.sh" run "$work" "$limit"
  status=$?
else
  plan "$work/templates" "$work/run" "${1:-}"
  bash "$repo/scripts/wine-prefixes.sh" "$work" >"$work/summary.log" 2>&1
  status=$?
fi
cat "$work/summary.log" 2>/dev/null || echo "wine-step: no summary came back"
echo "wine-step: $where, $((SECONDS - start)) s, status $status"
exit "$status"
