#!/usr/bin/env bash
# -u with no provider assembly in the cache and no AssemblyFolders key: nothing breaks,
# nothing changes.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset
lab_reg_apply <<EOF2
[-$(folders_key)]
EOF2
lab_snapshot
gac_before=$GAC reg_before=$REG

lab_tool -u
lab_snapshot
[[ $GAC == "$gac_before" ]] || fail "the cache listing changed"
[[ $REG == "$reg_before" ]] || { fail "the registry changed"; diff <(echo "$reg_before") <(echo "$REG") >&2 || true; }
lab_finish
