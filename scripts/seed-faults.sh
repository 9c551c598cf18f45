#!/usr/bin/env bash
# Fault seeding: the guard of the test suite's power. Each fault of tests/faults.txt is one small,
# plausible edit of src/ (outside the stand-in, src/platform/posix, which only the tests run on), of
# the installer include and its wixl build (installer/) or of the example package. The script
# applies each alone to a copy of the working tree (build/seed/tree, so the tree you work in is
# never touched), then runs, stopping at the first that fails:
#   1. the unit tests, built with AddressSanitizer and UndefinedBehaviorSanitizer, once;
#   2. a replay of the committed fuzz corpora (-runs=0: memory safety is the fuzzers' job);
#   3. the i686 build of zt4gac.exe (its compile-time check of the 32-bit contract);
#   4. for the faults still alive, the unit tests of a build without sanitizers under valgrind's
#      memcheck, which sees reads of memory nothing wrote;
#   5. the Wine end-to-end suite, for the faults still alive, first on the x86_64 build under wine64
#      where the host runs no 32-bit code (natively, so in a minute or two), then, for the faults it
#      leaves alive, on the shipped i686 exe in a 32-bit prefix and under WoW64 as the test command
#      runs it (scripts/wine-i686.sh: in the emulated guest on such a host); both stop at the first
#      case that fails.
# It prints each fault as killed (and by what) or SURVIVED, and a total; it exits non-zero when
# a fault survived or did not apply. Faults that nothing here can observe are listed as "unseen"
# with the reason, and are not run. Which unit tests failed for each fault is kept in
# build/seed/log/killers.txt, so that a row no fault needs can be found.
#
#   scripts/seed-faults.sh [--no-wine] [TEXT]   only the faults whose line holds TEXT
#
# Run it before tests are cut, merged or loosened, and add a fault for every decision added to
# src/. Builds are incremental (build/seed/); a full run of about 170 faults takes about 25 minutes
# on two cores, most of it compiling, the Wine suite a minute or two for each fault it sees.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2
source scripts/lib/packages.sh

# ---- running them ----------------------------------------------------------------------------
wine=1 only=
for argument; do
  case $argument in
    --no-wine) wine=0 ;;
    *) only=$argument ;;
  esac
done

readonly SEED=build/seed TREE=build/seed/tree BUILD=build/seed/asan PLAIN=build/seed/plain
readonly LOG=build/seed/log
# The fault trees share this tree's cached guest image: their guest script is the same.
export ZT4GAC_GUEST_CACHE=${ZT4GAC_GUEST_CACHE:-$PWD/build/guest}
apt_install_missing clang libclang-rt-14-dev cmake ninja-build googletest libgtest-dev g++-mingw-w64-i686 valgrind \
  >/dev/null
mkdir -p "$SEED" "$LOG"
: >"$LOG/killers.txt"

# The tree as it is now, tracked files only; a file whose bytes did not change keeps its old
# time, so the builds below stay incremental from one run to the next.
sync_tree() {
  local file
  mkdir -p "$TREE"
  while IFS= read -r -d '' file; do
    [[ -f $file ]] || continue
    if ! cmp -s "$file" "$TREE/$file"; then
      mkdir -p "$(dirname "$TREE/$file")"
      cp -p "$file" "$TREE/$file"
    fi
  done < <(git ls-files -z)
}

# One clang build of the unit tests and the fuzz targets, both sanitized.
configure() {
  local flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  cmake -S "$TREE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DZT4GAC_BUILD_TESTS=ON \
    -DZT4GAC_BUILD_FUZZ=ON >"$LOG/configure.log" 2>&1 &&
    cmake -S "$TREE" -B "$TREE/build/windows-x86" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/$TREE/cmake/mingw-i686.cmake" >>"$LOG/configure.log" 2>&1 &&
    cmake -S "$TREE" -B "$PLAIN" -G Ninja -DCMAKE_BUILD_TYPE=Debug >>"$LOG/configure.log" 2>&1
}

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The phases on the host: prints what killed the fault, BROKEN, or nothing when it lived.
host_phases() {
  # A fault that does not compile is no plausible fault: its text needs mending.
  if ! ninja -C "$BUILD" zt4gac_tests command_line_fuzz >"$LOG/build.log" 2>&1; then
    echo "BROKEN"
    return
  fi
  if ! timeout 60 "$BUILD/tests/zt4gac_tests" --gtest_brief=1 >"$LOG/unit.log" 2>&1; then
    echo "unit tests"
    return
  fi
  if ! timeout 120 "$BUILD/fuzz/command_line_fuzz" -runs=0 -artifact_prefix="$LOG/" \
    "$TREE/fuzz/corpus/command_line_fuzz" >"$LOG/fuzz.log" 2>&1; then
    echo "fuzz corpus"
    return
  fi
  # Only the compile-time check of the 32-bit contract may fail it; anything else is a broken fault.
  if ! ninja -C "$TREE/build/windows-x86" zt4gac >"$LOG/i686.log" 2>&1; then
    grep -q "static assertion failed" "$LOG/i686.log" && echo "i686 check" || echo BROKEN
    return
  fi
  # The rules a security review applies to the image, as the test command's windows-x86 step checks them.
  bash "$TREE/scripts/check-image.sh" "$TREE/build/windows-x86/src/zt4gac.exe" >"$LOG/image.log" 2>&1 ||
    echo "image rules: $(sed -n 's/^FAIL  //p' "$LOG/image.log" | head -n 1)"
}

# The unit tests of a build without sanitizers under memcheck: prints "memcheck" when it fails.
memcheck_phase() {
  ninja -C "$PLAIN" zt4gac_tests >"$LOG/plain.log" 2>&1 || { echo BROKEN; return; }
  timeout 300 valgrind -q --error-exitcode=99 "$PLAIN/tests/zt4gac_tests" --gtest_brief=1 >"$LOG/memcheck.log" 2>&1 ||
    echo memcheck
}

# apply FILE TEXT REPLACEMENT: the edit, in the tree's copy; fails unless TEXT occurs exactly once.
apply() {
  local path=$TREE/$1 content
  content=$(<"$path") && content+=$'\n'
  local rest=${content#*"$2"}
  [[ $rest != "$content" && $rest != *"$2"* ]] || return 1
  printf '%s' "${content/"$2"/"$3"}" >"$path"
}
# The file as it was before the fault, with a new time, so that the next build compiles it again.
save() { cp "$TREE/$1" "$SEED/saved"; }
restore() { cp "$SEED/saved" "$TREE/$1"; }

# describe FILE TEXT REPLACEMENT: the fault in one line, its first line that the edit changes.
describe() {
  local -a before after
  local line=0
  mapfile -t before <<<"$2"
  mapfile -t after <<<"$3"
  while ((line + 1 < ${#before[@]})) && [[ ${before[line]} == "${after[line]:-}" ]]; do line=$((line + 1)); done
  local from=${before[line]} to=${after[line]:-}
  printf '%s: %s -> %s\n' "$1" "${from#"${from%%[! ]*}"}" "${to#"${to%%[! ]*}"}"
}

# The fault list as four arrays, one entry per fault; texts keep their line breaks.
files=() texts=() replacements=() reasons=()
while IFS= read -r line; do
  case $line in
    -|"- "*) texts[-1]+=$'\n'${line:2} ;;
    +|"+ "*) replacements[-1]+=$'\n'${line:2} ;;
    "? "*) reasons[-1]=${line:2} ;;
    ?*) files+=("$line") texts+=("") replacements+=("") reasons+=("") ;;
  esac
done < <(grep -v '^#' tests/faults.txt)

sync_tree
configure || { cat "$LOG/configure.log"; exit 1; }
# The clean tree must pass every phase, or no fault can be told apart.
clean=$(host_phases)
[[ -n $clean ]] || clean=$(memcheck_phase)
if [[ -n $clean ]]; then
  echo "the unchanged tree fails: $clean (logs in $LOG)" >&2
  exit 1
fi

killed=0 survived=0 broken=0 unseen=0 total=0
survivors=()
for index in "${!files[@]}"; do
  file=${files[$index]} text=${texts[$index]#$'\n'} replacement=${replacements[$index]#$'\n'}
  label=$(describe "$file" "$text" "$replacement")
  [[ -z $only || "$file $text $replacement" == *"$only"* ]] || continue
  if [[ -n ${reasons[$index]} ]]; then
    unseen=$((unseen + 1))
    printf '%-9s %-12s %s\n          (%s)\n' unseen "" "$label" "${reasons[$index]}"
    continue
  fi
  total=$((total + 1))
  save "$file"
  if ! apply "$file" "$text" "$replacement"; then
    broken=$((broken + 1))
    printf '%-9s %-12s %s\n' BROKEN "no such text" "$label"
    continue
  fi
  by=$(host_phases)
  [[ $by == "unit tests" ]] && printf '%s\t%s\n' "$label" "$(sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' \
    "$LOG/unit.log" | sort -u | tr '\n' ' ')" >>"$LOG/killers.txt"
  [[ -n $by ]] || by=$(memcheck_phase)
  restore "$file"
  if [[ $by == BROKEN ]]; then
    broken=$((broken + 1))
    printf '%-9s %-12s %s\n' BROKEN "no build" "$label"
  elif [[ -n $by ]]; then
    killed=$((killed + 1))
    printf '%-9s %-12s %s\n' killed "$by" "$label"
  else
    survivors+=("$file"$'\x1f'"$text"$'\x1f'"$replacement"$'\x1f'"$label")
  fi
done

for survivor in "${survivors[@]}"; do
  IFS=$'\x1f' read -r -d '' file text replacement label <<<"$survivor"$'\x1f'
  if ((wine)); then
    save "$file"
    apply "$file" "$text" "$replacement"
    # The installer include's and the example package's faults need only the package's cases.
    filter= && [[ $file == installer/* || $file == examples/* ]] && filter=package
    # A call moved into the 64-bit registry view shows only where the 32-bit exe runs under WoW64.
    by= && [[ $replacement == *KEY_WOW64_64KEY* ]] && by=wow64
    if [[ -z $by ]] && ! ZT4GAC_WINE_FAIL_FAST=1 timeout 900 bash "$TREE/tests/wine/run.sh" $filter \
      >"$LOG/wine.log" 2>&1; then
      by="wine suite"
    elif ! ZT4GAC_WINE_FAIL_FAST=1 ZT4GAC_WINE_I686_WORK=$PWD/$SEED/wine-i686 timeout 2400 \
      bash "$TREE/scripts/wine-i686.sh" $filter >"$LOG/wine-i686.log" 2>&1; then
      by="wine i686"
    else
      by=
    fi
    restore "$file"
    if [[ -n $by ]]; then
      killed=$((killed + 1))
      printf '%-9s %-12s %s\n' killed "$by" "$label"
      continue
    fi
  fi
  survived=$((survived + 1))
  printf '%-9s %-12s %s\n' SURVIVED "" "$label"
done
# What the host phases left built from a fault is built again, clean, by the next run.
ninja -C "$BUILD" zt4gac_tests >/dev/null 2>&1
ninja -C "$PLAIN" zt4gac_tests >/dev/null 2>&1

echo "faults: $total run, $killed killed, $survived survived, $broken did not apply; $unseen listed as unseen"
((survived == 0 && broken == 0))
