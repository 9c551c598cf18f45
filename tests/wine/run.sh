#!/usr/bin/env bash
# The rows hold shell text that check() evaluates, with names that are set here.
# shellcheck disable=SC2016,SC2034
# The Wine end-to-end suite: the real zt4gac.exe under Wine, against Wine's registry and
# its fusion.dll, seen only as a user sees it: the GAC store's folders, regedit exports,
# the exit status (always 0) and the output (none). Builds the Windows build this host can
# run (scripts/wine-lab.sh says which), runs the platform contract test under Wine, then one
# case per row of the table below. Exits non-zero on any failure.
#   tests/wine/run.sh [TEXT]    only the cases whose name holds TEXT, no platform tests
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$repo/scripts/wine-lab.sh"
arch=$(wine_tool_arch)
if [[ $arch == i686 ]]; then
  build=$repo/build/windows-x86
else
  echo "This host cannot execute 32-bit x86 code: the suite runs the x86_64 build under wine64."
  build=$repo/build/windows-x64-wine
fi
mkdir -p "$build"
{ lab_configure "$arch" "$build" && cmake --build "$build" -j 2; } >"$build/wine-suite-build.log" 2>&1 ||
  { tail -30 "$build/wine-suite-build.log"; exit 1; }
# Wine turns the Unix arguments into the program's ANSI code page by the locale's charset.
export LC_ALL=C.UTF-8
passed=0 failed=0
only=${1:-}

lab_init "$build/tests/wine/lab" "$arch" "$build/src/zt4gac.exe"
lab_assemblies >"$SCRATCH/assemblies.log" || { cat "$SCRATCH/assemblies.log"; exit 1; }
lab_prefix "$build/tests/wine/wine-templates" || exit 1
trap lab_stop EXIT
# The platform contract test against Wine's registry and files; it expects Wine's default ANSI
# code page (1252), which follows the Unix locale.
if [[ -z $only ]]; then
  LC_ALL=C "$WINE" "$build/tests/windows/zt4gac_platform_tests.exe" </dev/null && passed=1 || failed=1
fi

# ---- what a row may use ------------------------------------------------------------------
home1=$(lab_unix_path "$HOME1")
# reg LINES...: .reg lines into the tool's view; "[AF" and "[Copies" name the two keys it writes.
reg() {
  local line
  for line; do
    line=${line/#'[AF'/"[$FOLDERS"} && line=${line/#'[-AF'/"[-$FOLDERS"}
    line=${line/#'[Copies'/"[$COPIES"} && line=${line/#'[-Copies'/"[-$COPIES"}
    printf '%s\n' "$line"
  done | lab_reg_apply
}
tool() {
  local why
  why=$(lab_tool "$@" 2>&1) || problems+=("$why")
}
# newest_fusion FILE: .NET "9.9.1" is registered, and FILE is its fusion.dll. Wine would
# take its built-in fusion for any fusion.dll; WINEDLLOVERRIDES=fusion=n makes it load FILE
# (and refuse its own DLLs as FILE: only a foreign module or no module at all is broken).
newest_fusion() {
  mkdir -p "$DRIVE_C/windows/Microsoft.NET/Framework/v9.9.1"
  cp "$1" "$DRIVE_C/windows/Microsoft.NET/Framework/v9.9.1/fusion.dll"
  reg '[Microsoft\.NETFramework\policy\v9.9]' '"1"="1-1"'
}
# The example package, built for the tool's architecture so that the copy's registry value
# lands in the view the tool reads.
package() {
  local stage=$SCRATCH/package
  rm -rf "$stage" && mkdir -p "$stage"
  cp "$repo/examples/installer/zt4gac-example.wxs" "$TOOL" "$stage/"
  cp -r "$ASSEMBLIES/net20" "$stage/netf20_32" && cp -r "$ASSEMBLIES/net40" "$stage/netf40_32"
  if [[ $arch == i686 ]]; then set -- -a x86 -D Win64=no; else set -- -a x64 -D Win64=yes; fi
  (cd "$stage" && wixl "$@" -o zt4gac-example.msi zt4gac-example.wxs) || problems+=("wixl failed")
  # The package registers "Zt4Home1" itself, at its own folder.
  reg '[-Copies\Zt4Home1]'
}
msiexec() { "$WINE" msiexec "$@" "$(wine_path "$SCRATCH/package/zt4gac-example.msi")" /qn || problems+=("msiexec $* failed"); }
# Copies listed before "Zt4Home1" whose "Zt4 Path Name" is a dword, 20 bytes of junk with
# no terminator, 300 bytes, and 5000 characters.
odd_copies() {
  reg '[Copies\A1]' '"Zt4 Path Name"=dword:00000043' \
    '[Copies\A2]' "\"Zt4 Path Name\"=hex:$(printf 'ff,%.0s' {1..19})ff" \
    '[Copies\A3]' "\"Zt4 Path Name\"=hex:$(printf '41,%.0s' {1..299})41" \
    '[Copies\A4]' "\"Zt4 Path Name\"=\"C:\\\\$(printf 'H%.0s' {1..4997})\""
}
# differ EXPECTED ACTUAL: the lines only one side has, "-" expected, "+" actual.
differ() { diff <(echo "$1") <(echo "$2") | sed -n 's/^< \(.\)/    -\1/p; s/^> \(.\)/    +\1/p'; }

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
    awk -v p="$pattern" -v s="${word:0:1}" 'index($0, p) == 1 { print s $0; n++ } END { if (!n) print s p " (no such line)" }' <<<"$from"
  done | LC_ALL=C sort -u
}

# check NAME SETUP COMMAND GAC REGISTRY: runs SETUP, then COMMAND; the GAC must then hold
# exactly GAC, and the registry must differ from before COMMAND by exactly REGISTRY.
check() {
  local name=$1 before after expected actual
  [[ $name == *"$only"* ]] || return 0
  problems=()
  eval "$2"
  before=$(lab_registry)
  eval "$3"
  after=$(lab_registry)
  expected=$(gac_lines "$4") actual=$(lab_gac)
  [[ $expected == "$actual" ]] || problems+=("GAC, expected -, seen +:"$'\n'"$(differ "$expected" "$actual")")
  expected=$(reg_lines "$5" "$before" "$after")
  actual=$(diff <(echo "$before") <(echo "$after") | sed -n 's/^< /-/p; s/^> /+/p' | LC_ALL=C sort)
  [[ $expected == "$actual" ]] || problems+=("registry changes, expected -, seen +:"$'\n'"$(differ "$expected" "$actual")")
  if ((${#problems[@]} == 0)); then
    passed=$((passed + 1)) && echo "ok    $name"
  else
    failed=$((failed + 1)) && echo "FAIL  $name" && printf '  %s\n' "${problems[@]}"
  fi
}

# ---- the cases ---------------------------------------------------------------------------
installed='+2=Zt4Home1 +4=Zt4Home1 -AF'
# check NAME  SET-UP  COMMAND  GAC-AFTERWARDS  REGISTRY-LINES-ADDED-AND-REMOVED
check 'install, .NET 2.0 and 4.0' \
  lab_reset 'tool -i "$HOME1"' '2:* 4:*' "$installed"
check 'install, .NET 2.0 only' \
  "lab_reset; reg '[-Microsoft\.NETFramework\policy\v4.0]'" 'tool -i "$HOME1"' '2:*' '+2=Zt4Home1 -AF'
check 'install, other letter case and a trailing backslash' \
  lab_reset "tool -i 'c:\ovk\ZT4HOME1\\'" '2:* 4:*' "$installed"
check 'install, directory as an installer quotes it: [INSTALLDIR] in quotes ends in \"' \
  lab_reset "tool -i 'C:\Ovk\Zt4Home1\"'" '2:* 4:*' "$installed"
check 'install, a directory no copy owns' \
  "lab_reset; lab_layout 'C:\Ovk\Elsewhere'" "tool -i 'C:\Ovk\Elsewhere'" '2:* 4:*' '-AF'
check 'install, the 4.0 Entity assembly missing: 4.0 fails, the key stays' \
  'lab_reset; rm "$home1/bin/netf40_32/Ovk.Data.Zt4.Entity.dll"' 'tool -i "$HOME1"' '2:* 4:* -4:Zt4.Entity' '+2=Zt4Home1 +4=Zt4Home1'
check 'install, 2.0 has only a broken Entity file: 2.0 fails and is not recorded' \
  'lab_reset; rm "$home1"/bin/netf20_32/*; echo junk >"$home1/bin/netf20_32/Ovk.Data.Zt4.Entity.dll"' \
  'tool -i "$HOME1"' '4:*' '+4=Zt4Home1'
check 'install, an older Quillmor cached: left alone, not replaced' \
  'lab_reset; lab_cache "$ASSEMBLIES/quillmor-8.1.0.0/Ovk.Data.Quillmor.dll" 8.1.0.0' 'tool -i "$HOME1"' \
  '2:* 4:* -2:Quillmor -4:Quillmor 2:Quillmor@8.1.0.0' "$installed"
check 'uninstall after install: all four gone, copy values kept' \
  "lab_reset; tool -i \"\$HOME1\"; reg '[AF]' '\"Ovk.Data.Zt4\"=\"x\"' '\"Other\"=\"y\"'" 'tool -u' '' '-AF|"Ovk.Data.Zt4"'
check 'uninstall keeps an older Quillmor, and the newer one beside it' \
  'lab_reset; tool -i "$HOME1"; lab_cache "$ASSEMBLIES/quillmor-8.1.0.0/Ovk.Data.Quillmor.dll" 8.1.0.0' 'tool -u' \
  '2:Quillmor 4:Quillmor 2:Quillmor@8.1.0.0' ''
check 'command lines that run nothing: none, -I, /i, -i "", -i, -x, 300 characters' \
  lab_reset 'tool; tool -I "$HOME1"; tool /i "$HOME1"; tool -i ""; tool -i; tool -x "$HOME1"; tool -i "C:\\$(printf "D%.0s" {1..297})"' '' ''
check 'install, a non-ASCII directory and copy name' \
  "lab_reset; lab_layout 'C:\Ovk\Zt4 Grün'; lab_register Zt4Grün 'C:\Ovk\Zt4 Grün'" "tool -i 'C:\Ovk\Zt4 Grün'" '2:* 4:*' '+2=Zt4Grün +4=Zt4Grün -AF'
check 'install, a file as the directory, with and without a backslash' \
  "lab_reset; echo file >'$DRIVE_C/Ovk/Zt4File'; lab_register Zt4File 'C:\Ovk\Zt4File'" "tool -i 'C:\Ovk\Zt4File'; tool -i 'C:\Ovk\Zt4File\\'" '' ''
check 'install past copies whose "Zt4 Path Name" is a dword, junk, 300 bytes, 5000 characters' \
  'lab_reset; odd_copies' 'tool -i "$HOME1"' '2:* 4:*' "$installed"
check 'install, the newest framework with a fusion.dll that lacks the entry points (a copy of the tool)' \
  'lab_reset; newest_fusion "$TOOL"' 'WINEDLLOVERRIDES=fusion=n tool -i "$HOME1"' '' ''
check 'uninstall, the newest framework with a fusion.dll that is no module at all' \
  "lab_reset; tool -i \"\$HOME1\"; reg '[AF]' '\"Ovk.Data.Zt4\"=\"x\"'; echo text >\"\$SCRATCH/text\"; newest_fusion \"\$SCRATCH/text\"" \
  'WINEDLLOVERRIDES=fusion=n tool -u' '2:* 4:*' ''
check 'the example package: msiexec /i' \
  'lab_reset; package' 'msiexec /i' '2:* 4:*' "+Copies\\Zt4Home1 $installed"
check 'the example package: msiexec /x' \
  "reg '[AF]' '\"Ovk.Data.Zt4\"=\"x\"'" 'msiexec /x' '' '-Copies\Zt4Home1 -AF|"Ovk.Data.Zt4"'

echo "wine: $passed passed, $failed failed"
((failed == 0))
