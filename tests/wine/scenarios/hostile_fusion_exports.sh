#!/usr/bin/env bash
# The newest framework's fusion.dll is unusable. A policy key v9.9 (value "1") makes
# v9.9.1 the newest framework's folder, and its fusion.dll is in turn:
#
#   a library with three of the four entry points, no "CreateInstallReferenceEnum"
#                           (tests/wine/fusion_missing_export.cpp)
#   a text file             (not a library at all)
#   a folder                (no file of that name)
#
# Each time -i (on a registered copy with its files, AssemblyFolders key present) and -u
# (with the product's assemblies in the cache) exit 0 silently and change nothing: the
# registry and the cache are exactly as before, and the three-export library's entry
# points were never called (they would leave a marker file). v2.0 and v4.0 keep Wine's
# working fusion.dll throughout; the tool does not fall back to them.
#
# Wine loads its own built-in fusion in place of any file named fusion.dll unless told
# otherwise; WINEDLLOVERRIDES=fusion=n makes the tool's LoadLibraryA take the file at the
# path, as Windows does. Without it the first case installs through Wine's built-in one.
: "${ZT4_FUSION_MISSING_EXPORT:?}"
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
newest=$DRIVE_C/windows/Microsoft.NET/Framework/v9.9.1
marker=$newest/fusion.dll.called
trap 'rm -rf "$newest" "$SCRATCH"' EXIT

# check_nothing_changes WHAT: -i and -u with the fusion.dll that WHAT names. The keys the
# tool may touch are compared each time; all of HKLM\SOFTWARE once, around both runs of the
# first case (an export of it takes seconds).
whole=yes
check_nothing_changes() {
  lab_reset
  lab_reg_apply <<EOF2
[$VIEW\\Microsoft\\.NETFramework\\policy\\v9.9]
"1"="1-1"
EOF2
  local whole_before=
  [[ -z $whole ]] || whole_before=$(wine_reg_export "$VIEW")
  lab_snapshot
  local before=$REG
  WINEDLLOVERRIDES=fusion=n lab_tool -i "$HOME1"
  lab_snapshot
  expect_gac </dev/null
  expect_reg_change "$before" </dev/null

  lab_seed "$ASSEMBLIES"/net20/*.dll "$ASSEMBLIES"/net40/*.dll
  WINEDLLOVERRIDES=fusion=n lab_tool -u
  lab_snapshot
  expect_gac < <(product_entries "$V2"; product_entries "$V4")
  expect_reg_change "$before" </dev/null
  [[ ! -e $marker ]] || fail "the tool called into $1"
  if [[ -n $whole ]]; then
    [[ $(wine_reg_export "$VIEW") == "$whole_before" ]] || fail "-i and -u with $1 changed HKLM\\SOFTWARE"
    whole=
  fi
}

rm -rf "$newest"
mkdir -p "$newest"
cp "$ZT4_FUSION_MISSING_EXPORT" "$newest/fusion.dll"
check_nothing_changes "a fusion.dll without CreateInstallReferenceEnum"

rm -rf "$newest"
mkdir -p "$newest"
echo "not a library" >"$newest/fusion.dll"
check_nothing_changes "a fusion.dll that is a text file"

rm -rf "$newest"
mkdir -p "$newest/fusion.dll"
check_nothing_changes "a fusion.dll that is a folder"

# The marker works: the checker, which needs only the three entry points, calls one.
rm -rf "$newest"
mkdir -p "$newest"
cp "$ZT4_FUSION_MISSING_EXPORT" "$newest/fusion.dll"
WINEDLLOVERRIDES=fusion=n lab_checker --fusion "$(wine_path "$newest/fusion.dll")" list >/dev/null 2>&1 || true
[[ -e $marker ]] || fail "the three-export library leaves no marker when called"

# The same lab with v9.9 gone works: the failures above came from the library alone.
rm -rf "$newest"
lab_reset
lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
lab_finish
