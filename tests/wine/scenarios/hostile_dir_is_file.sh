#!/usr/bin/env bash
# An installation directory that is a file, registered as the copy "Zt4File" (the short
# name of a file converts, so the copy is found as its owner). No assembly path below a
# file exists: nothing is installed, the missing Entity assembly fails both targets, so no
# copy value is written (nothing was installed) and the AssemblyFolders key stays. The
# registry and the cache are exactly as before; with a trailing backslash the same.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
file='C:\Ovk\Zt4File'

for spelling in "$file" "$file\\"; do
  lab_reset
  echo "a file, not a folder" >"$(lab_unix_path "$file")"
  lab_register_copy Zt4File "$file"
  lab_snapshot
  before=$REG
  lab_tool -i "$spelling"
  lab_snapshot
  expect_gac </dev/null
  expect_reg_change "$before" </dev/null
  expect_key "$(folders_key)"
  [[ -f $(lab_unix_path "$file") ]] || fail "the file $file is gone"
done
lab_finish
