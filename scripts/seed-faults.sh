#!/usr/bin/env bash
# Fault seeding: the guard of the test suite's power. Each fault of tests/faults.txt is one small,
# plausible edit of src/, of the installer include and its wixl build (installer/) or of the example
# package. The script applies each alone to a copy of the working tree (build/seed/tree, so the tree
# you work in is never touched) and runs the phases its tags name, cheapest first, stopping at the
# first check that fails:
#   host      the unit tests of the `seed` preset (AddressSanitizer, UndefinedBehaviorSanitizer), a
#             replay of the committed fuzz corpus, then `image`, then the unit tests of the
#             `memcheck` preset under valgrind's memcheck, which sees reads of memory nothing wrote
#   image     the i686 build of zt4gac.exe (its static assertions) and the rules of check-image.sh
#   wine      the Wine step (scripts/wine-step.sh): natively where 32-bit code runs, else the x86_64 build (or the
#             guest, when ZT4GAC_WINE_WHERE=guest forces it)
#   packages  only its package cases, which build the packages through installer/zt4gac-wixl.sh
#   wow64     the shipped i686 exe in a 64-bit prefix: not where the x86_64 build stands in
# Every phase a run needs first runs on the unchanged tree and must pass there.
#
# A fault is killed only by a check that failed, and the line names it: a failed unit test, a
# sanitizer or memcheck report, a static assertion, an image rule, a package that zt4gac-wixl.sh
# refused, a failed Wine case. A fault whose build breaks is BROKEN; a phase past its time limit
# is TIMED OUT, with what was running. Anything else (a lab that does not build, a missing
# package, a Wine run that fails without a failed case) is an ERROR of the run: it stops there.
# Faults nothing here can observe are listed as unseen with the reason, and are not run. Which
# unit tests killed each fault is kept in build/seed/log/killers.txt, so that a row no fault needs
# can be found. Exits 0 unless a fault survived, broke or the run met an error.
#
#   scripts/seed-faults.sh [TEXT]   only the faults whose line holds TEXT
#
# Run it whole before tests are cut, merged or loosened; builds are incremental (build/seed/).
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2
# shellcheck source=scripts/lib/packages.sh
source scripts/lib/packages.sh
# shellcheck source=scripts/wine-lab.sh
source scripts/wine-lab.sh
only=${1:-}
readonly SEED=build/seed TREE=build/seed/tree LOG=build/seed/log
ensure_i386_architecture && apt_install_missing "${BUILD_PACKAGES[@]}" "${HOST_TEST_PACKAGES[@]}" \
  "${CLANG_PACKAGES[@]}" "${WINE_PACKAGES[@]}" jq >/dev/null
mkdir -p "$SEED" "$LOG"
: >"$LOG/killers.txt" && : >"$LOG/configure.log"
# The sanitizers' options are those of the host-asan test preset.
eval "$(jq -r '.testPresets[] | select(.name == "host-asan") | .environment | to_entries[] |
  "export \(.key)=\(.value | @sh)"' CMakePresets.json)"

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

# ---- the phases ------------------------------------------------------------------------------
# Each prints nothing when its checks passed, or one line: "killed  CHECK: WHAT", "BROKEN  WHY",
# "TIMED OUT  WHAT" or "ERROR  WHY".

# build PRESET TARGET...: prints BROKEN, or what a failed static assertion says, when it fails.
build() {
  local log=$LOG/build-$1.log
  (cd "$TREE" && cmake --build --preset "$1" -j 2 --target "${@:2}") >"$log" 2>&1 && return
  local assertion && assertion=$(grep -m 1 -o 'static assertion failed.*' "$log") &&
    echo "killed  static assertion: $assertion" && return 1
  echo "BROKEN  $1 build: $(grep -m 1 -o -E 'error: .*|Error .*' "$log")" && return 1
}

# timed NAME SECONDS COMMAND...: runs COMMAND with its output in LOG/NAME.log; its status, 124 past the time.
timed() { timeout -k 10 "$2" "${@:3}" >"$LOG/$1.log" 2>&1; }

# judge NAME STATUS: the verdict on the log of a run of the unit tests or of the fuzz corpus.
judge() {
  local log=$LOG/$1.log failed report running
  running=$(sed -n 's/^\[ RUN      \] //p' "$log" | tail -n 1)
  (($2 == 124)) && echo "TIMED OUT  $1, past its time${running:+, in $running}" && return
  (($2)) || return 0
  failed=$(sed -n 's/^ *\[  FAILED  \] \([A-Za-z][^ ,]*\).*/\1/p' "$log" | tr -d '\r' | sort -u | tr '\n' ' ')
  report=$(grep -m 1 -o -E \
    '(ERROR: [A-Za-z]+Sanitizer: [a-z-]+|runtime error: .*|ERROR: libFuzzer: .*|==[0-9]+== [A-Z][a-z].*)' "$log")
  if [[ -n $failed ]]; then
    echo "killed  $1: ${failed% }"
  elif [[ -n $report ]]; then
    echo "killed  $1 report: ${report#==*== }${running:+ (in $running)}"
  else
    echo "ERROR  $1 exited $2 with no failed test, case or report: $(tail -n 1 "$log")"
  fi
}

phase_unit() {
  build seed zt4gac_tests command_line_fuzz || return
  timed unit 60 "$TREE/build/seed-asan/tests/zt4gac_tests"
  judge unit $?
}

phase_fuzz() {
  timed fuzz 120 "$TREE/build/seed-asan/fuzz/command_line_fuzz" -runs=0 -artifact_prefix="$LOG/" \
    "$TREE/fuzz/corpus/command_line_fuzz"
  judge fuzz $?
}

phase_image() {
  build windows-x86 zt4gac || return
  timed image 60 bash "$TREE/scripts/check-image.sh" "$TREE/build/windows-x86/src/zt4gac.exe" && return
  local rule && rule=$(sed -n 's/^FAIL  //p' "$LOG/image.log" | head -n 1)
  [[ -n $rule ]] && echo "killed  image: $rule" ||
    echo "ERROR  check-image.sh failed with no rule: $(tail -n 1 "$LOG/image.log")"
}

phase_memcheck() {
  build memcheck zt4gac_tests || return
  timed memcheck 300 valgrind -q --error-exitcode=99 "$TREE/build/memcheck/tests/zt4gac_tests"
  judge memcheck $?
}

# suite NAME [TEXT] [VARIABLE=VALUE...]: the Wine step (scripts/wine-step.sh) in its own folder, stopping at the first
# failed case; its lab and prefix templates stay from one fault to the next.
suite() {
  local name=$1 status case
  env "${@:3}" timeout -k 30 "$suite_limit" bash "$TREE/scripts/wine-step.sh" --work "$PWD/$SEED/wine-$name" \
    --fail-fast ${2:+"$2"} >"$LOG/$name.log" 2>&1
  status=$?
  case=$(sed -n 's/^ *ok    //p' "$LOG/$name.log" | tail -n 1)
  ((status == 124)) && echo "TIMED OUT  $name suite, in the case after: ${case:-none passed}" && return
  ((status)) || return 0
  case=$(sed -n 's/^ *FAIL  //p' "$LOG/$name.log" | head -n 1)
  if grep -q ' refused:' "$LOG/$name.log"; then
    echo "killed  package refused: $(grep -m 1 -A 1 ' refused:' "$LOG/$name.log" | tail -n 1 | sed 's/^ *//')"
  elif grep -q -E '^ *[^ ]+\.wxs [0-9]: ' "$LOG/$name.log"; then
    echo "BROKEN  package build: $(grep -m 1 -E '^ *[^ ]+\.wxs [0-9]: ' "$LOG/$name.log" | sed 's/^ *//')"
  elif grep -q '^guest: ' "$LOG/$name.log"; then
    echo "ERROR  $name suite: $(grep -m 1 '^guest: ' "$LOG/$name.log")"
  elif [[ -z $case ]]; then  # the platform contract test, or the lab itself
    judge "$name" "$status"
  else
    echo "killed  $name case: $case"
  fi
}

# The suites run natively where this host runs 32-bit code (the shipped exe in both prefixes, WoW64 included), else
# on the x86_64 build: a guest per fault takes twenty minutes, and runs only when ZT4GAC_WINE_WHERE=guest asks.
where=$(wine_where) && [[ $where == native || ${ZT4GAC_WINE_WHERE:-} == guest ]] || where=x86_64
suite_limit=1800 && [[ $where != guest ]] || suite_limit=3600
phase_wine() { build windows-x86 zt4gac || return; suite wine "" "ZT4GAC_WINE_WHERE=$where"; }
phase_packages() { suite packages package "ZT4GAC_WINE_WHERE=$where"; }
phase_wow64() {
  [[ $where != x86_64 ]] || { echo "not run here (needs 32-bit code)" && return; }
  build windows-x86 zt4gac || return
  suite wow64 "" "ZT4GAC_WINE_WHERE=$where"
}

# phases TAGS: the phases the tags name, cheapest first.
phases() {
  local tag all=
  for tag in $1; do
    case $tag in
      host) all+=" unit fuzz image memcheck" ;;
      image | wine | packages | wow64) all+=" $tag" ;;
      *) echo "tests/faults.txt: no such tag: $tag" >&2 && exit 2 ;;
    esac
  done
  for tag in unit fuzz image memcheck packages wine wow64; do [[ $all == *" $tag"* ]] && echo "$tag"; done
}

# ---- the faults ------------------------------------------------------------------------------

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

# The fault list as arrays, one entry per fault; texts keep their line breaks.
files=() texts=() replacements=() reasons=() tags=() tag="" number=0
while IFS= read -r line; do
  number=$((number + 1))
  case $line in
    "#"* | "") ;;
    "@ "*) tag=${line:2} && phases "$tag" >/dev/null ;;
    -|"- "*) texts[-1]+=$'\n'${line:2} ;;
    +|"+ "*) replacements[-1]+=$'\n'${line:2} ;;
    "? "*) reasons[-1]=${line:2} ;;
    [A-Za-z]*) [[ -n $tag ]] || { echo "tests/faults.txt:$number: no @ line names its phases" >&2 && exit 2; }
      files+=("$line") texts+=("") replacements+=("") reasons+=("") tags+=("$tag") ;;
    *) echo "tests/faults.txt:$number: a line of a fault starts with -, +, ? or @" >&2 && exit 2 ;;
  esac
done <tests/faults.txt

sync_tree
for preset in seed memcheck windows-x86; do
  (cd "$TREE" && cmake --preset "$preset") >>"$LOG/configure.log" 2>&1 ||
    { echo "ERROR  the $preset preset does not configure (logs in $LOG)" && exit 1; }
done
selected=() needed=
for index in "${!files[@]}"; do
  [[ -z $only || "${files[index]} ${texts[index]} ${replacements[index]}" == *"$only"* ]] || continue
  selected+=("$index")
  [[ -n ${reasons[index]} ]] || needed+=" $(phases "${tags[index]}" | tr '\n' ' ')"
done
# The unchanged tree must pass every phase the faults need, or no fault can be told apart; a phase
# it passed with these very files (build/seed/passed-PHASE) is not run again.
sources=$(git ls-files -z -- . ':!tests/faults.txt' | xargs -0 cat | sha1sum)
for phase in unit fuzz image memcheck packages wine wow64; do
  [[ $needed == *" $phase "* && $(cat "$SEED/passed-$phase" 2>/dev/null) != "$sources" ]] || continue
  [[ $phase == packages && $needed == *" wine "* ]] && continue  # the whole suite has the package cases
  verdict=$(phase_"$phase")
  [[ -z $verdict ]] && echo "$sources" >"$SEED/passed-$phase"
  [[ -z $verdict || $verdict == "not run here"* ]] && continue
  echo "ERROR  the unchanged tree fails its $phase phase: ${verdict#ERROR  } (logs in $LOG)"
  exit 1
done

declare -A count=()
for index in "${selected[@]}"; do
  file=${files[index]} text=${texts[index]#$'\n'} replacement=${replacements[index]#$'\n'}
  label=$(describe "$file" "$text" "$replacement")
  if [[ -n ${reasons[index]} ]]; then
    count[unseen]=$((${count[unseen]:-0} + 1))
    printf 'unseen    %s\n          (%s)\n' "$label" "${reasons[index]}"
    continue
  fi
  save "$file" && started=$SECONDS
  count[run]=$((${count[run]:-0} + 1))
  verdict="BROKEN  no such text"
  if apply "$file" "$text" "$replacement"; then
    verdict="survived"
    for phase in $(phases "${tags[index]}"); do
      by=$(phase_"$phase")
      [[ -n $by ]] && verdict=$by && break
    done
  fi
  restore "$file"
  [[ $verdict == "killed  unit:"* ]] && printf '%s\t%s\n' "$label" "${verdict#killed  unit: }" >>"$LOG/killers.txt"
  kind=${verdict%%  *}
  [[ $verdict == "not run here"* ]] && kind="not run here" && count[run]=$((count[run] - 1))
  count[$kind]=$((${count[$kind]:-0} + 1))
  read -ra words <<<"$verdict"  # a long list of failed tests: the first two, and how many more
  [[ $verdict == "killed  unit: "* ]] && ((${#words[@]} > 5)) &&
    verdict="${words[*]:0:4} (and $((${#words[@]} - 4)) more)"
  printf '%s\n          %s (%s s)\n' "$label" "$verdict" "$((SECONDS - started))"
  [[ $kind == ERROR ]] && break
done

run=${count[run]:-0}
printf 'faults: %s run, %s killed, %s survived, %s broken, %s timed out, %s errors; %s unseen, %s not run here;' \
  "$run" "${count[killed]:-0}" "${count[survived]:-0}" "${count[BROKEN]:-0}" "${count[TIMED OUT]:-0}" \
  "${count[ERROR]:-0}" "${count[unseen]:-0}" "${count[not run here]:-0}"
echo " $SECONDS s"
# A fault that hangs a check is no kill, but the test command would not pass it either: it is listed, not failed on.
((${count[survived]:-0} + ${count[BROKEN]:-0} + ${count[ERROR]:-0} == 0))
