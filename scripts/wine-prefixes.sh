#!/usr/bin/env bash
# Runs the Wine suite (tests/wine/run.sh) on a prepared lab in each prefix the plan names, side by
# side: the same file natively and in the emulated guest. scripts/wine-step.sh writes the plan,
# WORK/plan, a KEY=VALUE line each:
#   prefixes   the prefixes to run in (win32 win64, or win64 for the x86_64 build)
#   templates  the folder that keeps Wine's prefix templates
#   runs       the folder each prefix's copy of the lab runs in
#   limit      seconds each prefix may take
#   fail_fast  1: the first case that fails ends its prefix's run, and the other prefixes' runs
#   only       run only the cases whose name holds this text
# The lab is WORK/lab. Each prefix P leaves WORK/P.log and WORK/P.result. Fails unless every
# prefix ran every case the table has for `only` (run.sh --count) and all of them passed.
#
#   scripts/wine-prefixes.sh WORK
set -uo pipefail
work=$1
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
suite=$repo/tests/wine/run.sh
prefixes= templates= runs= limit=1500 fail_fast= only=
while IFS='=' read -r key value; do
  case $key in prefixes | templates | runs | limit | fail_fast | only) printf -v "$key" '%s' "$value" ;; esac
done <"$work/plan"
expected=$(bash "$suite" --count "$only") || exit 1
((expected > 0)) || { echo "no case's name holds '$only'"; exit 1; }

# Each prefix in a session of its own, so that ending a run ends everything it started; ended from
# outside, this script ends them too.
declare -A prefix_of=() status_of=()
trap 'for pid in "${!prefix_of[@]}"; do kill -- -"$pid" 2>/dev/null; done; exit 143' TERM INT
for prefix in $prefixes; do
  rm -rf "${runs:?}/$prefix" "$work/$prefix".{log,result} && mkdir -p "$runs" && cp -r "$work/lab" "$runs/$prefix" ||
    exit 1
  setsid timeout "$limit" bash "$suite" --run "$runs/$prefix" "$prefix" "$templates" "$work/$prefix.result" \
    ${fail_fast:+--fail-fast} "$only" >"$work/$prefix.log" 2>&1 &
  prefix_of[$!]=$prefix
done
while ((${#status_of[@]} < ${#prefix_of[@]})); do
  wait -n -p pid
  status=$?
  status_of[${prefix_of[$pid]}]=$status
  ((status == 0)) || [[ -z $fail_fast ]] || for pid in "${!prefix_of[@]}"; do
    [[ -v status_of[${prefix_of[$pid]}] ]] || kill -- -"$pid" 2>/dev/null
  done
done

failed=0
for prefix in $prefixes; do
  read -r _ passed _ failures <"$work/$prefix.result" 2>/dev/null || passed=0 failures=?
  what="$prefix prefix" && [[ $prefix == win64 && -f $work/lab/arch && $(<"$work/lab/arch") == i686 ]] &&
    what+=" (WoW64)"
  if [[ ${status_of[$prefix]} == 0 && $passed == "$expected" && $failures == 0 ]]; then
    echo "$what: $passed of $expected cases passed"
  else
    failed=1
    echo "$what: FAILED: $passed of $expected cases passed, $failures failed, status ${status_of[$prefix]}" \
      "($( ((status_of[$prefix] == 124)) && echo "past $limit s" || echo "its log below"))"
    sed 's/^/  /' "$work/$prefix.log"
  fi
done
exit "$failed"
