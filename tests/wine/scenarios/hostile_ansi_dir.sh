#!/usr/bin/env bash
# Installation directories beyond ASCII. The tool takes its arguments and all its paths in
# the ANSI code page (1252 here): Wine converts the Unix argument (UTF-8) to UTF-16 and
# hands the program its ANSI form, so "ü" reaches the tool as the single byte 0xFC, and
# the file calls and the registry convert it back.
#
#   -i "C:\Ovk\Zt4 Grün", registered as the copy "Zt4Grün": all eight assemblies installed,
#      "Zt4Grün" recorded for both targets (written back from its ANSI bytes), the
#      AssemblyFolders key withdrawn.
#   -i "C:\Ovk\Zt4 Ωmega": "Ω" has no place in code page 1252; Wine gives the program its
#      best-fit letter, so the tool receives "C:\Ovk\Zt4 Omega". With no such folder nothing
#      is installed, the missing Entity assembly fails both targets and the registry stays
#      as it was. When a folder "Zt4 Omega" does exist, the assemblies are installed from it,
#      and the copy registered at "Zt4 Ωmega" is recorded as its owner: the copy's path is
#      read in ANSI too and arrives as "Zt4 Omega" as well. An ANSI tool cannot tell the two
#      names apart; that is the platform's conversion, not a choice of the tool.
#
# Wine converts the Unix arguments by the locale's character set: under LC_ALL=C the "ü"
# arrives mangled and nothing is installed, so the scenario fixes a UTF-8 locale.
export LC_ALL=C.UTF-8
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"

acp=$("$WINE" reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP | tr -d '\r' |
  awk '$1 == "ACP" { print $3 }')
[[ $acp == 1252 ]] || fail "the prefix's ANSI code page is ${acp:-unknown}, not 1252"

# Registry text beyond ASCII goes in as UTF-16: regedit reads a .reg file without a byte
# order mark in the ANSI code page, which would turn UTF-8 "ü" into two letters.
reg_apply_unicode() {
  { printf 'Windows Registry Editor Version 5.00\n\n'; cat; } | iconv -f UTF-8 -t UTF-16 >"$SCRATCH/unicode.reg"
  wine_reg_import "$SCRATCH/unicode.reg"
}

# ---- a Latin-1 letter ---------------------------------------------------------------------
gruen='C:\Ovk\Zt4 Grün'
lab_reset
lab_layout "$gruen"
reg_apply_unicode <<EOF2
[$(copies_key)\\Zt4Grün]
"Zt4 Path Name"="$(lab_reg_text "$gruen")"
EOF2
lab_snapshot
before=$REG
expect_value "$(copies_key)\\Zt4Grün" "Zt4 Path Name" 'C:\\Ovk\\Zt4 Grün'

lab_tool -i "$gruen"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(install_change "$before" Zt4Grün)
[[ -f $DRIVE_C/windows/assembly/GAC_MSIL/Ovk.Data.Zt4/${V2}__$TOKEN/Ovk.Data.Zt4.dll ]] ||
  fail "the 2.0 main assembly is not in windows\\assembly"

# ---- a letter outside the code page -------------------------------------------------------
omega='C:\Ovk\Zt4 Ωmega'
lab_reset
lab_layout "$omega"
reg_apply_unicode <<EOF2
[$(copies_key)\\Zt4Omega]
"Zt4 Path Name"="$(lab_reg_text "$omega")"
EOF2
lab_snapshot
before=$REG

lab_tool -i "$omega"
lab_snapshot
expect_gac </dev/null
expect_reg_change "$before" </dev/null

# The best-fit name exists: the tool installs from there, and the "Zt4 Ωmega" copy,
# whose path it reads as "Zt4 Omega", is taken for its owner.
lab_layout 'C:\Ovk\Zt4 Omega'
lab_tool -i "$omega"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(install_change "$before" Zt4Omega)
lab_finish
