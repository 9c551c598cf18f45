# shellcheck shell=bash
# The Wine lab of the end-to-end scenarios: prefixes, product layouts, registry set-up,
# and the observations (GAC listing through tests/wine/gac_list, registry through regedit
# exports). Sourced by run.sh and by every scenario; the environment comes from CTest:
#   ZT4_WINE_LAB   the lab directory (prefixes, built assemblies)
#   ZT4_TOOL       zt4gac.exe            ZT4_CHECKER   gac_list.exe
#   ZT4_TOOL_ARCH  i686 or x86_64 (the architecture of both programs)
set -euo pipefail

LAB_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LAB_REPO=$(cd "$LAB_SOURCE_DIR/../.." && pwd)
# shellcheck source=../../scripts/wine-prefix.sh
source "$LAB_REPO/scripts/wine-prefix.sh"

: "${ZT4_WINE_LAB:?}" "${ZT4_TOOL:?}" "${ZT4_CHECKER:?}" "${ZT4_TOOL_ARCH:?}"
LAB=$ZT4_WINE_LAB
ASSEMBLIES=$LAB/assemblies
PROVIDER_NAMES=(Ovk.Data.Zt4 Ovk.Data.Quillmor Ovk.Data.Zt4.ASP Ovk.Data.Zt4.Entity)
# The public key token of tests/assemblies/zt4test.snk.
TOKEN=ecac06374d782c8a
V2=10.1.6.2
V4=10.1.6.4
HOME1='C:\Ovk\Zt4Home1'

# The tool's own world is a 32-bit prefix; a 64-bit prefix shows which registry view it
# reads. A host without 32-bit execution has only the 64-bit prefix and a 64-bit tool.
if [[ $ZT4_TOOL_ARCH == i686 ]]; then
  MAIN_PREFIX=$LAB/win32
  PREFIXES=("$LAB/win32" "$LAB/win64")
else
  MAIN_PREFIX=$LAB/win64
  PREFIXES=("$LAB/win64")
fi
WOW_PREFIX=$LAB/win64

FAILURES=0
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

lab_finish() {
  if ((FAILURES > 0)); then
    echo "$FAILURES check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

# lab_enter PREFIX: wine commands act on PREFIX. VIEW is the software root the tool reads
# there, OTHER_VIEW the other view of a 64-bit prefix (empty in a 32-bit one).
lab_enter() {
  local winarch
  winarch=$(basename "$1")
  wine_use "$1" "$winarch"
  # One server for the whole scenario instead of one per program; it ends itself half a
  # minute after the last program. The server and the prefix's background programs
  # (started with the first program) must not hold the caller's output open, or CTest
  # waits for them: both start here with every standard stream on /dev/null.
  "$WINESERVER" -p30 </dev/null >/dev/null 2>&1 || true
  "$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  DRIVE_C=$1/drive_c
  VIEW=$(wine_tool_view_root "$winarch" "$ZT4_TOOL_ARCH")
  OTHER_VIEW=
  if [[ $winarch == win64 ]]; then
    if [[ $VIEW == *WOW6432Node ]]; then
      OTHER_VIEW='HKEY_LOCAL_MACHINE\SOFTWARE'
    else
      OTHER_VIEW='HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node'
    fi
  fi
}

# The host path of a C:\ path in the current prefix.
lab_unix_path() {
  local path=${1#[Cc]:}
  printf '%s%s\n' "$DRIVE_C" "${path//\\//}"
}

# ---- set-up ------------------------------------------------------------------------------

# The test assemblies: the product's four for each runtime, and the extra ones the
# scenarios put into the cache themselves.
lab_build_assemblies() {
  local build=$LAB_REPO/tests/assemblies/build.sh name
  rm -rf "$ASSEMBLIES"
  for name in "${PROVIDER_NAMES[@]}"; do
    "$build" "$ASSEMBLIES/net20" "$name" "$V2" 2
    "$build" "$ASSEMBLIES/net40" "$name" "$V4" 4
  done
  "$build" "$ASSEMBLIES/quillmor-8.1.0.0" Ovk.Data.Quillmor 8.1.0.0 2
  "$build" "$ASSEMBLIES/quillmor-9.0.0.1" Ovk.Data.Quillmor 9.0.0.1 2
  "$build" "$ASSEMBLIES/quillmor-9.0.0.2" Ovk.Data.Quillmor 9.0.0.2 2
  "$build" "$ASSEMBLIES/bystander" Ovk.Data.Bystander 1.0.0.0 4
  "$build" "$ASSEMBLIES/unsigned" Ovk.Data.Unsigned 1.0.0.0 2 unsigned
  # The runtime is in the metadata's version string; make sure -sdk really set it.
  for name in "${PROVIDER_NAMES[@]}"; do
    grep -q v2.0.50727 "$ASSEMBLIES/net20/$name.dll" || { echo "$name (2.0) lacks v2.0.50727" >&2; return 1; }
    grep -q v4.0.30319 "$ASSEMBLIES/net40/$name.dll" || { echo "$name (4.0) lacks v4.0.30319" >&2; return 1; }
    ! grep -q v4.0.30319 "$ASSEMBLIES/net20/$name.dll" || { echo "$name (2.0) names v4.0.30319" >&2; return 1; }
  done
}

lab_make_prefixes() {
  local prefix
  for prefix in "${PREFIXES[@]}"; do
    wine_make_prefix "$prefix" "$(basename "$prefix")" "$LAB/../wine-templates"
    wine_add_frameworks "$prefix" "$ZT4_TOOL_ARCH"
  done
}

lab_stop_prefixes() {
  local prefix
  for prefix in "${PREFIXES[@]}"; do
    [[ -d $prefix ]] || continue
    wine_use "$prefix" "$(basename "$prefix")"
    "$WINESERVER" -k 2>/dev/null || true
  done
}

# lab_reg_apply: imports the .reg body given on standard input (header added here).
lab_reg_apply() {
  local file=$SCRATCH/apply.reg
  { printf 'Windows Registry Editor Version 5.00\n\n'; cat; } >"$file"
  wine_reg_import "$file"
}

# Backslashes doubled, as .reg string data needs them.
lab_reg_text() { printf '%s' "${1//\\/\\\\}"; }

# lab_layout WINDIR [FOLDERS...]: a product installation with the provider assemblies in
# bin\netf20_32 and bin\netf40_32. The folders without "_32" hold files that are no
# assemblies: a tool that took them would fail.
lab_layout() {
  local dir
  dir=$(lab_unix_path "$1")
  rm -rf "$dir"
  mkdir -p "$dir/bin/netf20_32" "$dir/bin/netf40_32" "$dir/bin/netf20" "$dir/bin/netf40"
  cp "$ASSEMBLIES"/net20/*.dll "$dir/bin/netf20_32/"
  cp "$ASSEMBLIES"/net40/*.dll "$dir/bin/netf40_32/"
  local name
  for name in "${PROVIDER_NAMES[@]}"; do
    echo "not an assembly" >"$dir/bin/netf20/$name.dll"
    echo "not an assembly" >"$dir/bin/netf40/$name.dll"
  done
}

# lab_register_copy NAME WINDIR [ROOT]: a product copy, in the tool's view unless ROOT says.
lab_register_copy() {
  local root=${3:-$VIEW}
  lab_reg_apply <<EOF
[$root\\Ovk\\Zt4\\InstalledCopies\\$1]
"Zt4 Path Name"="$(lab_reg_text "$2")"
EOF
}

# lab_reset [v2-only]: the baseline of every scenario. No Ovk assembly in the cache; one
# product copy "Zt4Home1" at C:\Ovk\Zt4Home1, laid out and registered; the provider's
# AssemblyFolders key with its value; the framework policy keys (v2.0 and v4.0, or only
# v2.0). Everything in the tool's view; the other view of a 64-bit prefix is emptied.
lab_reset() {
  rm -rf "$DRIVE_C"/windows/assembly/GAC*/Ovk.* "$DRIVE_C"/windows/Microsoft.NET/assembly/GAC*/Ovk.*
  rm -rf "$DRIVE_C/Ovk"
  lab_layout "$HOME1"
  local root v4=1
  [[ ${1:-} == v2-only ]] && v4=0
  {
    for root in "$VIEW" ${OTHER_VIEW:+"$OTHER_VIEW"}; do
      printf '[-%s\\Ovk]\n\n' "$root"
      printf '[-%s\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4]\n\n' "$root"
      printf '[-%s\\Microsoft\\.NETFramework\\policy]\n\n' "$root"
    done
    printf '[%s\\Microsoft\\.NETFramework\\policy\\v2.0]\n"50727"="50727-50727"\n\n' "$VIEW"
    ((v4)) && printf '[%s\\Microsoft\\.NETFramework\\policy\\v4.0]\n"30319"="30319-30319"\n\n' "$VIEW"
    printf '[%s\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4]\n' "$VIEW"
    printf '@="%s"\n"Ovk.Data.Zt4"="%s"\n\n' "$(lab_reg_text "$HOME1\\bin")" "$(lab_reg_text "$HOME1\\bin")"
    printf '[%s\\Ovk\\Zt4\\InstalledCopies\\Zt4Home1]\n"Zt4 Path Name"="%s"\n\n' "$VIEW" "$(lab_reg_text "$HOME1")"
  } | lab_reg_apply
}

# lab_seed FILE...: puts assembly files into the cache through the checker (not the tool).
lab_seed() {
  local file args=()
  for file in "$@"; do args+=("$(wine_path "$file")"); done
  lab_checker install "${args[@]}" || fail "could not seed the cache with $*"
}

# lab_checker ARGS...: the checker's output without the console's carriage returns.
lab_checker() {
  local status=0
  "$WINE" "$ZT4_CHECKER" "$@" >"$SCRATCH/checker" || status=$?
  tr -d '\r' <"$SCRATCH/checker"
  return $status
}

# ---- the tool ----------------------------------------------------------------------------

# lab_tool ARGS...: runs zt4gac.exe; it must exit with 0 and print nothing.
lab_tool() {
  local status=0
  "$WINE" "$ZT4_TOOL" "$@" >"$SCRATCH/out" 2>"$SCRATCH/err" || status=$?
  ((status == 0)) || fail "zt4gac $* exited with $status"
  [[ ! -s $SCRATCH/out ]] || fail "zt4gac $* wrote to stdout: $(head -c 300 "$SCRATCH/out")"
  [[ ! -s $SCRATCH/err ]] || fail "zt4gac $* wrote to stderr: $(head -c 300 "$SCRATCH/err")"
}

# ---- observations ------------------------------------------------------------------------

# The GAC as the checker lists it, sorted.
lab_gac() {
  lab_checker list || fail "the checker could not list the cache"
}

# The registry keys the tool may touch, below each given software root, one line per key
# ("KEY") and per value ("KEY<TAB>name=data"), data as regedit exports it.
lab_registry() {
  local root
  for root in "$@"; do
    {
      wine_reg_export "$root\\Ovk"
      wine_reg_export "$root\\Microsoft\\.NETFramework"
    } | awk '
      /^\[/ { key = substr($0, 2, length($0) - 2); print key; next }
      /^(Windows Registry Editor|REGEDIT4)/ || /^$/ { next }
      { print key "\t" $0 }'
  done
}

# lab_snapshot [ROOTS...]: takes GAC and REG (below the tool's view unless ROOTS say),
# the observations the expectations check.
lab_snapshot() {
  (($# > 0)) || set -- "$VIEW"
  GAC=$(lab_gac)
  REG=$(lab_registry "$@")
}

# gac_line NAME VERSION [TOKEN]: a line of the checker's listing.
gac_line() { printf '%s, Version=%s, Culture=neutral, PublicKeyToken=%s\n' "$1" "$2" "${3:-$TOKEN}"; }

# product_entries VERSION [NAMES...]: the listing lines of the product's assemblies.
product_entries() {
  local version=$1 name
  shift
  (($# > 0)) || set -- "${PROVIDER_NAMES[@]}"
  for name in "$@"; do gac_line "$name" "$version"; done
}

# expect_gac: the Ovk entries of the cache are exactly the lines on standard input.
expect_gac() {
  local expected actual
  expected=$(sort)
  actual=$(grep '^Ovk\.' <<<"$GAC" | sort || true)
  if [[ $expected != "$actual" ]]; then
    fail "GAC differs from what was expected"
    diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /' >&2 || true
  fi
}

lab_reg_line() { printf '%s\t"%s"="%s"' "$1" "$2" "$3"; }

expect_value() {
  grep -qxF "$(lab_reg_line "$1" "$2" "$3")" <<<"$REG" || {
    fail "expected \"$2\"=\"$3\" under $1"
    grep -F "$1" <<<"$REG" | sed 's/^/    /' >&2 || true
  }
}

expect_no_value() {
  ! grep -qF "$(printf '%s\t"%s"=' "$1" "$2")" <<<"$REG" || fail "unexpected value \"$2\" under $1"
}

expect_key() { grep -qxF "$1" <<<"$REG" || fail "expected the key $1"; }
expect_no_key() { ! grep -qxF "$1" <<<"$REG" || fail "unexpected key $1"; }

# Shorthands for the keys the scenarios look at, below a software root.
copies_key() { printf '%s\\Ovk\\Zt4\\InstalledCopies' "${1:-$VIEW}"; }
folders_key() { printf '%s\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4' "${1:-$VIEW}"; }

# ---- exact changes, timing and debugger output (the hostile-input scenarios) -------------

# reg_lines KEY [SNAPSHOT]: the lines of a registry snapshot (REG unless given) that belong
# to KEY itself, its key line and its values, not those of its subkeys.
reg_lines() {
  grep -F -e "$1" <<<"${2-$REG}" | awk -v key="$1" '$0 == key || index($0, key "\t") == 1' || true
}

# expect_reg_change BEFORE: REG differs from the snapshot BEFORE by exactly the lines on
# standard input, "-LINE" for a line gone and "+LINE" for a line added; an empty standard
# input means no change at all.
expect_reg_change() {
  local expected actual
  expected=$(sed '/^$/d' | LC_ALL=C sort)
  actual=$({
    LC_ALL=C comm -23 <(sed '/^$/d' <<<"$1" | LC_ALL=C sort) <(sed '/^$/d' <<<"$REG" | LC_ALL=C sort) | sed 's/^/-/'
    LC_ALL=C comm -13 <(sed '/^$/d' <<<"$1" | LC_ALL=C sort) <(sed '/^$/d' <<<"$REG" | LC_ALL=C sort) | sed 's/^/+/'
  } | LC_ALL=C sort)
  if [[ $expected != "$actual" ]]; then
    fail "the registry changed otherwise than expected"
    diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /' >&2 || true
  fi
}

# The change that -i makes to a snapshot BEFORE when it records COPY for both targets
# and withdraws the AssemblyFolders key.
install_change() {
  printf '+%s\n' "$(lab_reg_line "$(copies_key)" 10.1.6.DEF.2 "$2")" "$(lab_reg_line "$(copies_key)" 10.1.6.DEF.4 "$2")"
  reg_lines "$(folders_key)" "$1" | sed 's/^/-/'
}

# lab_timed_tool ARGS...: lab_tool, and TOOL_MS the wall time of the run in milliseconds.
lab_timed_tool() {
  local start
  start=$(date +%s%3N)
  lab_tool "$@"
  TOOL_MS=$(($(date +%s%3N) - start))
}

# lab_debug_strings ARGS...: runs zt4gac.exe once more with Wine's debugstr channel on and
# prints each text the tool sent to an attached debugger, one per line. The run must
# exit with 0 and write nothing to stdout.
lab_debug_strings() {
  local status=0
  WINEDEBUG=+debugstr "$WINE" "$ZT4_TOOL" "$@" >"$SCRATCH/out" 2>"$SCRATCH/debug" || status=$?
  ((status == 0)) || fail "zt4gac $* exited with $status"
  [[ ! -s $SCRATCH/out ]] || fail "zt4gac $* wrote to stdout"
  tr -d '\r' <"$SCRATCH/debug" | sed -n 's/^.*:debugstr:OutputDebugStringA "\(.*\)"$/\1/p'
}
