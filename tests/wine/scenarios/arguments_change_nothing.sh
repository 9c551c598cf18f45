#!/usr/bin/env bash
# Command lines that run no command: the registry and the cache are the same before and
# after each, and the tool exits with 0 and prints nothing. The directory given is a real,
# registered product copy, so a command that did run would show.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset
lab_seed "$ASSEMBLIES/bystander/Ovk.Data.Bystander.dll"
# The broad view: all of HKLM\SOFTWARE as the tool sees it, once before and once after.
whole_before=$(wine_reg_export "$VIEW")
lab_snapshot
gac_before=$GAC reg_before=$REG

long_dir='C:\'$(printf 'D%.0s' {1..297})
((${#long_dir} == 300)) || fail "the long directory has ${#long_dir} characters"

check_unchanged() {
  lab_snapshot
  [[ $GAC == "$gac_before" ]] || fail "zt4gac $1 changed the cache"
  [[ $REG == "$reg_before" ]] || { fail "zt4gac $1 changed the registry"; diff <(echo "$reg_before") <(echo "$REG") >&2 || true; }
}

lab_tool;                       check_unchanged "(no arguments)"
lab_tool -I "$HOME1";           check_unchanged "-I"
lab_tool /i "$HOME1";           check_unchanged "/i"
lab_tool -i "";                 check_unchanged '-i ""'
lab_tool -i;                    check_unchanged "-i (no directory)"
lab_tool -x "$HOME1";           check_unchanged "-x"
lab_tool -U;                    check_unchanged "-U"
lab_tool -i "$long_dir";        check_unchanged "-i <300 characters>"

[[ $(wine_reg_export "$VIEW") == "$whole_before" ]] || fail "HKLM\\SOFTWARE changed"
lab_finish
