# shellcheck shell=bash
# The runner of the Wine end-to-end suite, sourced by tests/wine/run.sh with its arguments, which
# holds the cases. It prepares a lab (scripts/wine-lab.sh) or runs the cases in one Wine prefix of
# a prepared lab, and gives the cases their language: `check`, what a row may use, and the product
# packages, built from zt4gac.wxi by installer/zt4gac-wixl.sh. scripts/wine-step.sh calls it.
#
#   run.sh --prepare LAB ARCH [EXE]   builds what the cases run for ARCH (i686, the shipped build, or
#                                     x86_64) into the folder LAB: zt4gac.exe (EXE instead, when given),
#                                     the platform contract test, the test assemblies, the packages
#   run.sh --count [TEXT]             prints how many cases a run with TEXT runs
#   run.sh --run LAB PREFIX TEMPLATES RESULT [--fail-fast] [TEXT]
#                                     runs the cases whose name holds TEXT (all, and the platform contract
#                                     test, without TEXT) on LAB in a fresh prefix (win32, or win64: WoW64
#                                     for the i686 build), made from prefix templates kept in TEMPLATES;
#                                     writes "passed N failed M" to RESULT. --fail-fast: stops at the first
#                                     failing case.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/wine-lab.sh
source "$repo/scripts/wine-lab.sh"
# Wine turns the Unix arguments into the program's ANSI code page by the locale's charset.
export LC_ALL=C.UTF-8
mode=${1:-} passed=0 failed=0 problems=() only= fail_fast= result=
case $mode in
  --prepare)
    lab_init "$(realpath -m "$2")" "$3"
    lab_build || exit 1
    [[ -z ${4:-} ]] || cp "$4" "$TOOL" || exit 1
    echo "$3" >"$LAB/arch" ;;
  --count) only=${2:-} DRIVE_C= ;;  # nothing runs: rows only need their names
  --run)
    lab_init "$2" "$(cat "$2/arch")" "" "$3" && templates=$4 result=$5 && shift 5
    [[ ${1:-} == --fail-fast ]] && fail_fast=1 && shift
    only=${1:-}
    lab_prefix "$templates" || exit 1
    trap 'lab_stop; echo "passed $passed failed $failed" >"$result"' EXIT
    # The platform contract test against Wine's registry and files; it expects Wine's default ANSI
    # code page (1252), which follows the Unix locale.
    if [[ -z $only ]]; then
      LC_ALL=C "$WINE" "$LAB/bin/zt4gac_platform_tests.exe" </dev/null && passed=1 || failed=1
      ((!failed)) || [[ -z $fail_fast ]] || exit 1
    fi ;;
  *) echo "usage: run.sh --prepare LAB ARCH [EXE] | --count [TEXT] |" \
    "--run LAB PREFIX TEMPLATES RESULT [--fail-fast] [TEXT]" >&2 && exit 2 ;;
esac
msiarch=x86 && [[ ${LAB_ARCH:-} == x86_64 ]] && msiarch=x64

# ---- what a row may use ------------------------------------------------------------------
home1=${DRIVE_C:+$(lab_unix_path "$HOME1")}
# reg LINES...: .reg lines into the tool's view; "[AF" and "[Copies" name the two keys it writes.
reg() {
  local l
  for l; do l=${l/#'[AF'/"[$FOLDERS"} l=${l/#'[-AF'/"[-$FOLDERS"} l=${l/#'[Copies'/"[$COPIES"}
    printf '%s\n' "${l/#'[-Copies'/"[-$COPIES"}"; done | lab_reg_apply
}
tool() { local why && why=$(lab_tool "$@" 2>&1) || problems+=("$why"); }
# package N [SOURCE]: version N (1 or 2) of the package of SOURCE (default: $wxs, the one under test), built once a
# run for the tool's architecture (the copy's value must land in the view the tool reads); 2 ships the next release's
# providers. Version 0 is version 1 with a deferred action after GacInstall that fails (cmd.exe exits 1).
# It needs no Wine (wixl and msitools): called for every source and version up front, it builds them all on the host.
package() {
  local wxs=${2:-$wxs} && local dir=$SCRATCH/package-${wxs##*/}$1 && [[ -f $dir/package.msi ]] && return
  if (($1 == 0)); then package 1 "$wxs" && cp -r "${dir%0}1" "$dir" && msibuild "$dir/package.msi" -q "INSERT INTO
      CustomAction (Action, Type, Source, Target) VALUES ('Fail', 3106, 'INSTALLDIR', 'cmd /c exit 1')" -q "INSERT INTO
      InstallExecuteSequence (Action, Condition, Sequence) VALUES ('Fail', 'NOT REMOVE', 5011)"
  else cp -r "$ASSEMBLIES/release$1" "$dir" && cp "$TOOL" "$dir/" && (cd "$dir" &&
      "$repo/installer/zt4gac-wixl.sh" -a "$msiarch" -D Version="$1.0.0" -o package.msi "$repo/$wxs")
  fi >"$dir.log" 2>&1 || { problems+=("$wxs $1: $(tail -5 "$dir.log")") && rm -f "$dir/package.msi" && return 1; }
}
products() { (($(lab_products "$product" | wc -l) == $1)); }
# fresh: the lab as lab_reset leaves it, with no version of any package installed (an earlier case may have left
# one) and the copy's registration left to the package.
fresh() { local p && for p in "${packages[@]}"; do p=${p#*|} && lab_products "${p%%|*}"; done | while read -r code
  do "$WINE" msiexec /x "$code" /qn </dev/null; done; products 0 && lab_reset && reg '[-Copies\Zt4Home1]'; }
# msi ACTION N [PROPERTY=VALUE...]: msiexec ACTION on version N of the package under test, quietly.
msi() { package "$2" && "$WINE" msiexec "$1" "$(wine_path "$SCRATCH/package-${wxs##*/}$2/package.msi")" "${@:3}" /qn; }
# same WHAT EXPECTED ACTUAL: a problem unless both are equal, listing the lines only one side has.
same() {
  [[ $2 == "$3" ]] || problems+=("$1, expected -, seen +:"$'\n'"$(diff <(echo "$2") <(echo "$3") |
    sed -n 's/^< \(.\)/    -\1/p; s/^> \(.\)/    +\1/p')")
}

# gac_lines WORDS: the listing that WORDS stand for. RUNTIME:NAME[@VERSION] is one entry
# (NAME without "Ovk.Data.", "*" for all four; the version defaults to the runtime's
# provider version); a leading "-" takes an entry out again.
gac_lines() {
  local word sign runtime name version names
  read -ra words <<<"$1"
  for word in "${words[@]}"; do
    sign=+ && [[ $word == -* ]] && sign=- word=${word#-}
    runtime=${word%%:*} name=${word#*:} version=$V2 && [[ $runtime == 4 ]] && version=$V4
    [[ $name == *@* ]] && version=${name#*@} name=${name%@*}
    names=("Ovk.Data.$name") && [[ $name == '*' ]] && names=("${PROVIDER_NAMES[@]}")
    for name in "${names[@]}"; do echo "$sign $runtime.0 $name $version"; done
  done | awk '{ k = $2 " " $3 " " $4 } $1 == "+" { keep[k] = 1 } $1 == "-" { delete keep[k] }
    END { for (k in keep) print k }' | LC_ALL=C sort
}

# reg_lines WORDS BEFORE AFTER: the registry lines that WORDS say were added ("+PREFIX":
# every line of AFTER that starts with it) or removed ("-PREFIX": every line of BEFORE),
# at least one each. "+2=COPY" and "+4=COPY" are the copy values the tool records for
# .NET 2.0 and 4.0; "Copies" and "AF" in a prefix stand for the two keys it writes.
reg_lines() {
  local word pattern from
  read -ra words <<<"$1"
  for word in "${words[@]}"; do
    pattern=${word:1}
    [[ $pattern == [24]=* ]] && pattern="Copies|\"10.1.6.DEF.${pattern%%=*}\"=\"${pattern#*=}\""
    pattern=${pattern/#Copies/"$COPIES"} && pattern=${pattern/#AF/"$FOLDERS"}
    [[ $word == +* ]] && from=$3 || from=$2
    awk -v p="$pattern" -v s="${word:0:1}" 'index($0, p) == 1 { print s $0; n++ }
      END { if (!n) print s p " (no such line)" }' <<<"$from"
  done | LC_ALL=C sort -u
}

# gac_is WORDS: the GAC holds exactly what WORDS stand for.
gac_is() { same GAC "$(gac_lines "$1")" "$(lab_gac)"; }

# check NAME SETUP COMMAND GAC REGISTRY: runs SETUP, then COMMAND; the GAC must then hold
# exactly GAC, and the registry must differ from before COMMAND by exactly REGISTRY.
check() {
  local name=$1 before after
  [[ $name == *"$only"* ]] || return 0
  [[ $mode != --count ]] || { passed=$((passed + 1)) && return; }
  problems=()
  eval "$2" || problems+=("set-up failed: $2")
  before=$(lab_registry) || problems+=("no registry export before the command")
  eval "$3" || problems+=("failed: $3")
  after=$(lab_registry) || problems+=("no registry export after the command")
  gac_is "$4"
  same 'registry changes' "$(reg_lines "$5" "$before" "$after")" \
    "$(diff <(echo "$before") <(echo "$after") | sed -n 's/^< /-/p; s/^> /+/p' | LC_ALL=C sort)"
  ((${#problems[@]} == 0)) && passed=$((passed + 1)) && echo "ok    $name" && return
  failed=$((failed + 1)) && echo "FAIL  $name" && printf '  %s\n' "${problems[@]}"
  [[ -z $fail_fast ]] || exit 1
}

# suite_prepare: with --prepare, builds every package, each version (0 builds 1 first), and exits.
suite_prepare() {
  [[ $mode == --prepare ]] || return 0
  local p
  for p in "${packages[@]}"; do package 0 "${p%%|*}" && package 2 "${p%%|*}" || break; done
  # And the first for the other architecture, never installed: its tables must hold too.
  local other=x64 dir=$SCRATCH/package-other && [[ $msiarch == x64 ]] && other=x86
  cp -r "$ASSEMBLIES/release1" "$dir" && cp "$TOOL" "$dir/" && (cd "$dir" && "$repo/installer/zt4gac-wixl.sh" \
    -a $other -o package.msi "$repo/${packages[0]%%|*}") >"$dir.log" 2>&1 || problems+=("$other: $(tail -5 "$dir.log")")
  ((${#problems[@]} == 0)) && exit 0 || { printf '%s\n' "${problems[@]}" && exit 1; }
}

# suite_end: the count of cases; with --count only that, the platform contract test included.
suite_end() {
  if [[ $mode == --count ]]; then
    echo $((passed + (${#only} == 0)))
    exit 0
  fi
  echo "wine: $passed passed, $failed failed"
  ((failed == 0 && passed > 0))
}
