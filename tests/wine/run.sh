#!/usr/bin/env bash
# The rows hold shell text that check() evaluates, with names that are set here.
# shellcheck disable=SC2016,SC2034
# The Wine end-to-end suite: the real zt4gac.exe under Wine, against Wine's registry and
# its fusion.dll, seen only as a user sees it: the GAC store's folders, registry exports,
# the exit status (always 0) and the output (none). Builds the Windows build this host can
# run (scripts/wine-lab.sh says which), runs the platform contract test under Wine, then one
# case per row of the table below. Exits non-zero on any failure.
#   tests/wine/run.sh [TEXT]            only the cases whose name holds TEXT (at least one), no platform tests
#   tests/wine/run.sh --prepare DIR     builds what the suite runs into the lab DIR (exe, platform test,
#                                       assemblies, packages) and runs nothing, for a machine that has only Wine
#   tests/wine/run.sh [--prepare DIR] --tool EXE [TEXT]
#                                       as above, with EXE (a release's signed zt4gac.exe) as the lab's zt4gac.exe
# ZT4GAC_WINE_BUILD names the build directory (default: build/windows-x86, or build/windows-x64-wine);
# ZT4GAC_WINE_PREBUILT=DIR runs what --prepare put into DIR, building nothing; ZT4GAC_WINE_PREFIX=win64
# runs the i686 build in a 64-bit prefix, under WoW64 (default win32); ZT4GAC_WINE_FAIL_FAST=1 stops
# at the first case that fails.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/wine-lab.sh
source "$repo/scripts/wine-lab.sh"
arch=$(wine_tool_arch) prepare= tool=
[[ ${1:-} == --prepare ]] && prepare=$(realpath -m "$2") && shift 2
[[ ${1:-} == --tool ]] && tool=$(realpath -e "$2") && shift 2
build=${ZT4GAC_WINE_BUILD:-$repo/build/windows-x86} msiarch=x86
if [[ $arch != i686 ]]; then
  echo "This host cannot execute 32-bit x86 code: the suite runs the x86_64 build under wine64."
  build=${ZT4GAC_WINE_BUILD:-$repo/build/windows-x64-wine} msiarch=x64
fi
# Wine turns the Unix arguments into the program's ANSI code page by the locale's charset.
export LC_ALL=C.UTF-8
passed=0 failed=0 problems=() only=${1:-}

lab_init "${prepare:-$build/tests/wine/lab}" "$arch" "" "${ZT4GAC_WINE_PREFIX:-win32}"
lab_build "$build" "${ZT4GAC_WINE_PREBUILT:-}" || exit 1
[[ -z $tool ]] || cp "$tool" "$TOOL" || exit 1
if [[ -z $prepare ]]; then
  lab_prefix "${ZT4GAC_WINE_TEMPLATES:-$build/tests/wine/wine-templates}" || exit 1
  trap lab_stop EXIT
  # The platform contract test against Wine's registry and files; it expects Wine's default ANSI
  # code page (1252), which follows the Unix locale.
  [[ $only ]] || { LC_ALL=C "$WINE" "$LAB/bin/zt4gac_platform_tests.exe" </dev/null && passed=1 || failed=1; }
fi

# ---- what a row may use ------------------------------------------------------------------
home1=$(lab_unix_path "$HOME1")
# reg LINES...: .reg lines into the tool's view; "[AF" and "[Copies" name the two keys it writes.
reg() {
  local l
  for l; do l=${l/#'[AF'/"[$FOLDERS"} l=${l/#'[-AF'/"[-$FOLDERS"} l=${l/#'[Copies'/"[$COPIES"}
    printf '%s\n' "${l/#'[-Copies'/"[-$COPIES"}"; done | lab_reg_apply
}
tool() { local why && why=$(lab_tool "$@" 2>&1) || problems+=("$why"); }
# newest_fusion FILE: .NET "9.9.1" is registered, and FILE is its fusion.dll. Wine would
# take its built-in fusion for any fusion.dll; WINEDLLOVERRIDES=fusion=n makes it load FILE
# (and refuse its own DLLs as FILE: only a foreign module or no module at all is broken).
newest_fusion() {
  local dir=$DRIVE_C/windows/Microsoft.NET/Framework/v9.9.1
  mkdir -p "$dir" && cp "$1" "$dir/fusion.dll" && reg '[Microsoft\.NETFramework\policy\v9.9]' '"1"="1-1"'
}
# plant: a foreign fusion.dll as .NET 9.9.1's that imports plant_import.dll and asks for plant_byname.dll by name
# once loaded; both genuine beside it, and planted beside a copy of the tool and in the folder `planted` runs it in.
# Each copy, once loaded, writes its path to C:\zt4marks.txt.
plant() {
  local dir && newest_fusion "$LAB/plant/plant_fusion.dll" || return
  for dir in "$DRIVE_C/windows/Microsoft.NET/Framework/v9.9.1" "$SCRATCH/plant-tool" "$SCRATCH/plant-cwd"; do
    mkdir -p "$dir" && cp "$LAB"/plant/plant_{import,byname}.dll "$dir/" || return; done
  cp "$TOOL" "$SCRATCH/plant-tool/" && rm -f "$DRIVE_C/zt4marks.txt"
}
planted() {
  pushd "$SCRATCH/plant-cwd" >/dev/null && TOOL=$SCRATCH/plant-tool/zt4gac.exe WINEDLLOVERRIDES=fusion=n tool "$@"
  popd >/dev/null
}
# marks WHICH...: the DLLs loaded since the last call, "genuine NAME" (from the framework's folder) or "planted NAME".
marks() {
  same 'DLLs loaded' "$(printf '%s\n' "$@")" "$(cat "$DRIVE_C/zt4marks.txt" 2>/dev/null | tr -d '\r' |
    sed 's/.*\\v9\.9\.1\\/genuine /; t; s/.*\\/planted /' | LC_ALL=C sort -u)" && rm -f "$DRIVE_C/zt4marks.txt"
}
quillmor() { lab_cache "$ASSEMBLIES/quillmor-8.1.0.0/Ovk.Data.Quillmor.dll" 8.1.0.0; }
# The product packages, each built from zt4gac.wxi by installer/zt4gac-wixl.sh as a product team builds its own: the
# source, the product's name, the copy it registers, the registry rows of its own ("+PREFIX", as reg_lines reads), the
# feature of the tool and the providers, and how many products are left once it is removed.
packages=('examples/installer/zt4gac-example.wxs|Ovk Zt4 (zt4gac example)|Zt4Home1||Product|0'
  'tests/wine/zt4-server.wxs|Ovk Zt4 Server (zt4gac test)|Zt4Server|+Ovk\Zt4Server|DataProviders|1')
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
unrecord() { reg '[Copies]' '"10.1.6.DEF.2"=-' '"10.1.6.DEF.4"=-'; }  # the copy records -i writes
# fresh: the lab as lab_reset leaves it, with no version of any package installed (an earlier case may have left
# one) and the copy's registration left to the package.
fresh() { local p && for p in "${packages[@]}"; do p=${p#*|} && lab_products "${p%%|*}"; done | while read -r code
  do "$WINE" msiexec /x "$code" /qn </dev/null; done; products 0 && lab_reset && reg '[-Copies\Zt4Home1]'; }
# msi ACTION N [PROPERTY=VALUE...]: msiexec ACTION on version N of the package under test, quietly.
msi() { package "$2" && "$WINE" msiexec "$1" "$(wine_path "$SCRATCH/package-${wxs##*/}$2/package.msi")" "${@:3}" /qn; }
# Copies listed before "Zt4Home1" whose "Zt4 Path Name" is a dword, 20 bytes of junk with
# no terminator, 300 bytes, and 5000 characters.
odd_copies() {
  reg '[Copies\A1]' '"Zt4 Path Name"=dword:00000043' \
    '[Copies\A2]' "\"Zt4 Path Name\"=hex:$(printf 'ff,%.0s' {1..19})ff" \
    '[Copies\A3]' "\"Zt4 Path Name\"=hex:$(printf '41,%.0s' {1..299})41" \
    '[Copies\A4]' "\"Zt4 Path Name\"=\"C:\\\\$(printf 'H%.0s' {1..4997})\"" &&
    (($(lab_registry | grep -c -E '^Ovk.Zt4.InstalledCopies.A[1-4][|]"Zt4 Path Name"=(dword|hex|"C)') == 4))
}
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
  [[ -z ${ZT4GAC_WINE_FAIL_FAST:-} ]] || exit 1
}

if [[ $prepare ]]; then  # every package, each version (0 builds 1 first)
  for p in "${packages[@]}"; do package 0 "${p%%|*}" && package 2 "${p%%|*}" || break; done
  ((${#problems[@]} == 0)) && exit 0 || { printf '%s\n' "${problems[@]}" && exit 1; }
fi

# ---- the cases ---------------------------------------------------------------------------
installed='+2=Zt4Home1 +4=Zt4Home1 -AF' next="2:*@$NEXT2 4:*@$NEXT4"
# check NAME  SET-UP  COMMAND  GAC-AFTERWARDS  REGISTRY-LINES-ADDED-AND-REMOVED
check 'install, .NET 2.0 only' \
  "lab_reset && reg '[-Microsoft\.NETFramework\policy\v4.0]'" 'tool -i "$HOME1"' '2:*' '+2=Zt4Home1 -AF'
check 'install, other letter case and a trailing backslash' \
  lab_reset "tool -i 'c:\ovk\ZT4HOME1\\'" '2:* 4:*' "$installed"
check 'install, directory as an installer quotes it: [INSTALLDIR] in quotes ends in \"' \
  lab_reset "tool -i 'C:\Ovk\Zt4Home1\"'" '2:* 4:*' "$installed"
check 'install, the directory in its 8.3 short form' "lab_reset && lab_layout 'C:\Ovk\Zt4 Home1' &&
  lab_register Zt4Home1 'C:\Ovk\Zt4 Home1' && short=\$(lab_short 'C:\Ovk\Zt4 Home1')" 'tool -i "$short"' '2:* 4:*' \
  "$installed"
check 'install, a directory no copy owns' \
  "lab_reset && lab_layout 'C:\Ovk\Elsewhere'" "tool -i 'C:\Ovk\Elsewhere'" '2:* 4:*' '-AF'
check 'install, the 4.0 Entity assembly missing: 4.0 fails, the key stays' \
  'lab_reset && rm "$home1/bin/netf40_32/Ovk.Data.Zt4.Entity.dll"' 'tool -i "$HOME1"' '2:* 4:* -4:Zt4.Entity' \
  '+2=Zt4Home1 +4=Zt4Home1'
check 'install, 2.0 has only a broken Entity file: 2.0 fails and is not recorded' \
  'lab_reset && rm "$home1"/bin/netf20_32/* && echo junk >"$home1/bin/netf20_32/Ovk.Data.Zt4.Entity.dll"' \
  'tool -i "$HOME1"' '4:*' '+4=Zt4Home1'
check 'install, an older Quillmor cached: left alone, not replaced' \
  'lab_reset && quillmor' 'tool -i "$HOME1"' '2:* 4:* -2:Quillmor -4:Quillmor 2:Quillmor@8.1.0.0' "$installed"
check 'uninstall after install: all four gone, copy values kept' \
  "lab_reset && tool -i \"\$HOME1\" && reg '[AF]' '\"Ovk.Data.Zt4\"=\"x\"' '\"Other\"=\"y\"'" 'tool -u' '' \
  '-AF|"Ovk.Data.Zt4"'
check 'uninstall keeps an older Quillmor, and the newer one beside it' \
  'lab_reset && tool -i "$HOME1" && quillmor' 'tool -u' '2:Quillmor 4:Quillmor 2:Quillmor@8.1.0.0' ''
check 'command lines that run nothing: none, -I, /i, -i "", -i, -x, 300 characters, a file as the directory' \
  "lab_reset && echo file >'$DRIVE_C/Ovk/Zt4File' && lab_register Zt4File 'C:\Ovk\Zt4File'" 'tool; tool -I "$HOME1"
  tool /i "$HOME1"; tool -i ""; tool -i; tool -x "$HOME1"; tool -i "C:\\$(printf %0297d 0)"
  tool -i "C:\Ovk\Zt4File"; tool -i "C:\Ovk\Zt4File\\"' '' ''
check 'install, a non-ASCII directory and copy name' "lab_reset && lab_layout 'C:\Ovk\Zt4 Grün' &&
  lab_register Zt4Grün 'C:\Ovk\Zt4 Grün'" "tool -i 'C:\Ovk\Zt4 Grün'" '2:* 4:*' '+2=Zt4Grün +4=Zt4Grün -AF'
check 'install past copies whose "Zt4 Path Name" is a dword, junk, 300 bytes, 5000 characters' \
  'lab_reset && odd_copies' 'tool -i "$HOME1"' '2:* 4:*' "$installed"
check 'install, the newest framework with a fusion.dll that lacks the entry points (a copy of the tool)' \
  'lab_reset && newest_fusion "$TOOL"' 'WINEDLLOVERRIDES=fusion=n tool -i "$HOME1"' '' ''
check 'uninstall, the newest framework with a fusion.dll that is no module at all' \
  "lab_reset && tool -i \"\$HOME1\" && reg '[AF]' '\"Ovk.Data.Zt4\"=\"x\"' && echo text >\"\$SCRATCH/text\" &&
  newest_fusion \"\$SCRATCH/text\"" 'WINEDLLOVERRIDES=fusion=n tool -u' '2:* 4:*' ''
genuine='"genuine plant_byname.dll" "genuine plant_import.dll"'
check 'DLLs planted beside the tool and in the current directory: -i and -u load only the framework'"'"'s own' \
  'lab_reset && plant' "planted -i \"\$HOME1\"; marks $genuine; planted -u; marks $genuine" '' '-AF|"Ovk.Data.Zt4"'
check 'DLLs planted, none beside fusion.dll: its load fails rather than take a planted one' \
  'lab_reset && plant && rm "$DRIVE_C"/windows/Microsoft.NET/Framework/v9.9.1/plant_*' \
  'planted -i "$HOME1"; planted -u; marks' '' ''
# Each product package through a product's life; "products N": N versions of it installed.
for p in "${packages[@]}"; do IFS='|' read -r wxs product copy rows feature left <<<"$p" && mine="+2=$copy +4=$copy -AF"
# What the package writes (its copy's value, its rows) shows as /x takes it away, in the case after the upgrade's.
check "package $copy: msiexec /i; a modify removing the providers' feature ($feature) takes them out; /x: none left" \
  fresh "msi /i 1 && products 1 && gac_is '2:* 4:*' && msi /i 1 REMOVE=$feature && products $left && gac_is '' &&
  { ((!$left)) || msi /x 1; } && products 0" '' "$mine"
check "package $copy: version 2 over 1 (major upgrade): only its providers, the copy recorded again, one product" \
  'fresh && msi /i 1 && unrecord' 'msi /i 2 && products 1' "$next" "${mine% -AF}"
check "package $copy: a repair (REINSTALL=ALL) puts back a provider taken out of the GAC by hand" \
  'fresh && msi /i 2 && rm -r "$DRIVE_C"/windows/Microsoft.NET/assembly/GAC_MSIL/Ovk.Data.Zt4.Entity' \
  'msi /i 2 REINSTALL=ALL REINSTALLMODE=vomus' "$next" ''
check "package $copy: msiexec /x after the upgrade: no provider, none of its values; the copy records stay" \
  "fresh && msi /i 1 && msi /i 2 && reg '[AF]' '\"Ovk.Data.Zt4\"=\"x\"'" 'msi /x 2 && products 0' '' \
  "-Copies\\$copy ${rows//+/-} -AF|\"Ovk.Data.Zt4\""
check "package $copy: another product's older Quillmor outlives version 1, the upgrade and /x; neither replaces it" \
  'fresh && quillmor' 'msi /i 1 && msi /i 2 &&
  gac_is "$next -2:Quillmor@$NEXT2 -4:Quillmor@$NEXT4 2:Quillmor@8.1.0.0" && msi /x 2' '2:Quillmor@8.1.0.0' "$mine"
# It leaves the GAC as before; the copy's records and the withdrawn key stay.
check "package $copy: an installation failing after GacInstall rolls back" fresh '! msi /i 0 && products 0' '' "$mine"
done
# The second product's other features; the loop leaves its package under test.
check 'package Zt4Server: a modify adding DataProviders back (ADDLOCAL=) records them; removing Tools keeps them' \
  'fresh && msi /i 1 && msi /i 1 REMOVE=DataProviders && unrecord' 'msi /i 1 ADDLOCAL=DataProviders &&
  msi /i 1 REMOVE=Tools && products 1' '2:* 4:*' '+Copies\Zt4Server +2=Zt4Server +4=Zt4Server -Ovk\Zt4Server\Tools'

echo "wine: $passed passed, $failed failed"
((passed + failed)) || echo "wine: no case's name holds '$only'"
((failed == 0 && passed > 0))
