#!/usr/bin/env bash
# Static analysis of src/: clang-tidy (checks in .clang-tidy) over the host build's compile
# commands and over the Win32 layer with the mingw build's, and cppcheck over the sources with
# the POSIX stand-in layer, then over the Win32 layer with cppcheck's Windows library; and, over
# every source, script and CMake file, lines of at most 120 characters. Installs what is missing,
# prints a summary and exits non-zero on any finding.
#
# A finding is fixed, not silenced; where a suppression is right it sits on the line
# (NOLINT(check) or "cppcheck-suppress id ;") with a one-line reason.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly JOBS=2
readonly BUILD_DIR=build/tidy
readonly WINDOWS_BUILD_DIR=build/tidy/windows-x86
readonly MINGW_CXX=i686-w64-mingw32-g++
readonly LOG_DIR=$BUILD_DIR/logs
readonly CLANG_TIDY=${CLANG_TIDY:-clang-tidy}
readonly CPPCHECK_OPTIONS=(
  "--enable=warning,performance,portability,style"
  --error-exitcode=1
  --inline-suppr
  --std=c++17
  --language=c++
  --suppress=missingIncludeSystem
  --quiet
  -j "$JOBS"
)

source scripts/lib/packages.sh
source scripts/lib/steps.sh

# Counts the distinct diagnostics in a log, "file:line:col: warning|error|style|...: text"; a
# finding in a header shows up once per source that includes it and counts once.
count_findings() {
  grep -E '^[^ :]+:[0-9]+:[0-9]+: (warning|error|style|performance|portability|information):' "$1" | sort -u | wc -l
}

# ---- clang-tidy ----------------------------------------------------------------------------

# clang-tidy's stderr without its chatter: what is left (a file that does not parse, a bad
# .clang-tidy) belongs in the log beside the findings.
tidy_errors() {
  local chatter='^[0-9]+ (warning|error)s? (generated|treated as errors)\.$|^Suppressed [0-9]+ warnings'
  chatter+='|^Use -header-filter|^Error while processing '
  grep -Ev "$chatter" "$1" || true
}

# The host build's compile commands cover every source but the Win32 layer; nothing needs
# building, as the host build generates no sources.
run_clang_tidy() {
  local out=$1 sources=()
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DZT4GAC_BUILD_TESTS=OFF -DZT4GAC_BUILD_BENCH=OFF -DZT4GAC_BUILD_FUZZ=OFF >"$LOG_DIR/configure.log" ||
    { cat "$LOG_DIR/configure.log"; return 1; }

  mapfile -t sources < <(sed -n 's|^ *"file": "\(.*/src/.*\.cpp\)",\{0,1\}$|\1|p' "$BUILD_DIR/compile_commands.json" |
    sort -u)
  if [[ ${#sources[@]} -eq 0 ]]; then
    echo "no sources under src/ in $BUILD_DIR/compile_commands.json" >&2
    return 1
  fi
  echo "$("$CLANG_TIDY" --version | grep -m1 -i version | sed 's/^ *//'); ${#sources[@]} files"

  # One clang-tidy per file, two at a time; the findings go to the log, the chatter is dropped.
  local status=0
  printf '%s\0' "${sources[@]}" |
    xargs -0 -n 1 -P "$JOBS" "$CLANG_TIDY" -p "$BUILD_DIR" --quiet --use-color=false >"$out" \
      2>"$LOG_DIR/clang-tidy.stderr" ||
    status=$?
  tidy_errors "$LOG_DIR/clang-tidy.stderr" >>"$out"
  cat "$out"
  [[ $status -eq 0 && $(count_findings "$out") -eq 0 ]]
}

# The Win32 layer and the Windows-only sources of src/gac/, which only the Windows build compiles:
# the mingw build's compile commands, with clang pointed at mingw's own C++ and Windows headers in
# place of the host's.
run_clang_tidy_win32() {
  local out=$1 include_dirs=() extra_args=(--extra-arg-before=-nostdinc) dir
  cmake -S . -B "$WINDOWS_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DZT4GAC_BUILD_TESTS=OFF >"$LOG_DIR/configure-windows.log" ||
    { cat "$LOG_DIR/configure-windows.log"; return 1; }

  mapfile -t include_dirs < <("$MINGW_CXX" -std=c++17 -E -x c++ -v - </dev/null 2>&1 |
    sed -n '/^#include <...> search starts here:$/,/^End of search list\.$/s|^ \(/.*\)$|\1|p')
  if [[ ${#include_dirs[@]} -eq 0 ]]; then
    echo "no include directories from $MINGW_CXX" >&2
    return 1
  fi
  for dir in "${include_dirs[@]}"; do extra_args+=(--extra-arg-before=-isystem"$dir"); done

  local status=0
  "$CLANG_TIDY" -p "$WINDOWS_BUILD_DIR" --quiet --use-color=false "${extra_args[@]}" src/platform/win32/*.cpp \
    src/gac/*_win32.cpp \
    >"$out" 2>"$LOG_DIR/clang-tidy-win32.stderr" || status=$?
  tidy_errors "$LOG_DIR/clang-tidy-win32.stderr" >>"$out"
  cat "$out"
  [[ $status -eq 0 && $(count_findings "$out") -eq 0 ]]
}

# ---- cppcheck ------------------------------------------------------------------------------

# Everything but the Win32 layer, with the POSIX stand-in's headers: what the host build compiles.
run_cppcheck_host() {
  local out=$1
  cppcheck --version
  local status=0
  cppcheck "${CPPCHECK_OPTIONS[@]}" --library=posix -I src -I src/platform/posix -i src/platform/win32 src \
    >"$out" 2>&1 || status=$?
  cat "$out"
  [[ $status -eq 0 && $(count_findings "$out") -eq 0 ]]
}

# The Win32 layer and the Windows-only sources of src/gac/, with cppcheck's model of <windows.h>.
run_cppcheck_win32() {
  local out=$1 status=0
  cppcheck "${CPPCHECK_OPTIONS[@]}" --library=windows --platform=win32A -I src -I src/platform/win32 \
    src/platform/win32 src/platform/text.cpp src/gac/*_win32.cpp >"$out" 2>&1 || status=$?
  cat "$out"
  [[ $status -eq 0 && $(count_findings "$out") -eq 0 ]]
}

# ---- line length ---------------------------------------------------------------------------

# No line of the project's sources, headers, scripts or CMake files is longer than 120 characters,
# so that a table row or a condition reads without scrolling; each longer line is a finding. The
# files are found in the tree, not asked of git, so that a tarball without git passes too; build/
# (build trees, the Wine lab, fault-seeding copies) and tools' hidden folders hold no sources.
run_line_length() {
  local out=$1
  find . \( -path ./build -o -name .git -o -name .cache \) -prune -o -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*CMakeLists.txt' -o -name '*.cmake' \) -print0 |
    LC_ALL=C sort -z |
    xargs -0 awk 'length > 120 { printf "%s:%d:1: style: line of %d characters, over 120\n", FILENAME, FNR, length }' \
      >"$out"
  cat "$out"
  [[ ! -s $out ]]
}

# ---- driver --------------------------------------------------------------------------------

# analysis_step NAME LOG CMD: runs CMD with its log file; a failure counts its findings.
analysis_step() {
  local name=$1 out=$LOG_DIR/$2.log
  shift 2
  run_step "$name" "$@" "$out"
  if [[ ${STEP_RESULTS[-1]} == FAIL* ]]; then
    STEP_RESULTS[-1]="FAIL  ($(count_findings "$out") findings, log $out)"
  fi
}

main() {
  log "install packages"
  apt_install_missing "${BUILD_PACKAGES[@]}" "${ANALYSIS_PACKAGES[@]}"
  mkdir -p "$LOG_DIR"

  analysis_step "clang-tidy: src/" clang-tidy run_clang_tidy
  analysis_step "clang-tidy: src/platform/win32" clang-tidy-win32 run_clang_tidy_win32
  analysis_step "cppcheck: src/ (host layer)" cppcheck-host run_cppcheck_host
  analysis_step "cppcheck: src/platform/win32" cppcheck-win32 run_cppcheck_win32
  analysis_step "line length: at most 120" line-length run_line_length

  if print_summary "Static analysis summary"; then
    echo "static analysis clean"
  else
    echo "static analysis FAILED"
    exit 1
  fi
}

main "$@"
