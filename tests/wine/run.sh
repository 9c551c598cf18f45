#!/usr/bin/env bash
# The rows hold shell text that check() evaluates, with names that are set here.
# shellcheck disable=SC2016,SC2034
# The Wine end-to-end suite's cases: the real zt4gac.exe under Wine, against Wine's registry and
# its fusion.dll, seen only as a user sees it: the GAC store's folders, registry exports, the exit
# status (always 0) and the output (none). One case per row of the table below; the runner
# (arguments, builds, `check`) is scripts/wine-suite.sh. Exits non-zero on any failure.
# shellcheck source=scripts/wine-suite.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-suite.sh"

# ---- what a row may use ------------------------------------------------------------------
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
unrecord() { reg '[Copies]' '"10.1.6.DEF.2"=-' '"10.1.6.DEF.4"=-'; }  # the copy records -i writes
# Copies listed before "Zt4Home1" whose "Zt4 Path Name" is a dword, 20 bytes of junk with
# no terminator, 300 bytes, and 5000 characters.
odd_copies() {
  reg '[Copies\A1]' '"Zt4 Path Name"=dword:00000043' \
    '[Copies\A2]' "\"Zt4 Path Name\"=hex:$(printf 'ff,%.0s' {1..19})ff" \
    '[Copies\A3]' "\"Zt4 Path Name\"=hex:$(printf '41,%.0s' {1..299})41" \
    '[Copies\A4]' "\"Zt4 Path Name\"=\"C:\\\\$(printf 'H%.0s' {1..4997})\"" &&
    (($(lab_registry | grep -c -E '^Ovk.Zt4.InstalledCopies.A[1-4][|]"Zt4 Path Name"=(dword|hex|"C)') == 4))
}
suite_prepare

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
suite_end
