#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every fuzz target for a bounded time, one after the other. Exits non-zero when a
# target finds anything (crash, overrun, leak, failed check, timeout, out of memory); the
# input that did it is kept under build/fuzz/artifacts/<target>/.
#
#   ZT4GAC_FUZZ_SECONDS  seconds per target (default 60; all of them together never run longer
#                        than 4 minutes, so larger values are cut to fit)
#
# Each target starts from its committed seeds (fuzz/corpus/<target>/) plus what earlier runs
# in this build directory found (build/fuzz/corpus/<target>/); the seeds are never written. Its
# dictionary (fuzz/<target>.dict: the registry paths and value names the tool reads) steers the
# mutations towards them.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly JOBS=2
readonly TARGETS=(command_line_fuzz)
readonly MAX_TOTAL_SECONDS=240
readonly BUILD_DIR=build/fuzz

source scripts/lib/packages.sh

seconds=${ZT4GAC_FUZZ_SECONDS:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [[ $seconds -eq 0 ]]; then
  echo "ZT4GAC_FUZZ_SECONDS must be a positive number of seconds, not '$seconds'" >&2
  exit 2
fi
readonly per_target_limit=$((MAX_TOTAL_SECONDS / ${#TARGETS[@]}))
if [[ $seconds -gt $per_target_limit ]]; then
  echo "ZT4GAC_FUZZ_SECONDS=$seconds cut to $per_target_limit (at most ${MAX_TOTAL_SECONDS} s in all)"
  seconds=$per_target_limit
fi

apt_install_missing "${BUILD_PACKAGES[@]}" "${CLANG_PACKAGES[@]}"
cmake --preset fuzz
cmake --build --preset fuzz -j "$JOBS"

# The targets' temporary files, removed here even when a finding stopped a target, in memory
# when the machine has /dev/shm.
parent=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && parent=/dev/shm
TMPDIR=$(mktemp -d "$parent/zt4gac-fuzz-run.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

# Leaks fail the run like any other finding.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

failed=()
summary=()
for target in "${TARGETS[@]}"; do
  corpus=$BUILD_DIR/corpus/$target
  artifacts=$BUILD_DIR/artifacts/$target
  log=$BUILD_DIR/logs/$target.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  printf '\n==> %s: %s s\n' "$target" "$seconds"

  status=0
  "$BUILD_DIR/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
    -dict="fuzz/$target.dict" -artifact_prefix="$artifacts/" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 ||
    status=$?

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  line="$target: ${executions:-?} executions in $seconds s"
  if [[ $status -ne 0 ]]; then
    line+=" -- FINDING (exit $status), log: $log"
    failed+=("$target")
    grep -E 'ERROR|SUMMARY|check failed|Test unit written|runtime error' "$log" | head -n 20 || tail -n 40 "$log"
  fi
  echo "$line"
  summary+=("$line")
done

printf '\n==> fuzz summary\n'
printf '  %s\n' "${summary[@]}"
if [[ ${#failed[@]} -ne 0 ]]; then
  echo "findings in: ${failed[*]}" >&2
  exit 1
fi
