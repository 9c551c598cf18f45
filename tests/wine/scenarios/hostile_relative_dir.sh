#!/usr/bin/env bash
# A relative installation directory. Wine gives a program started from a Unix directory
# inside the prefix's drive_c the matching C:\ working directory, and the tool's file
# paths are resolved against it:
#
#   from C:\,     -i "Ovk\Zt4Home1"   installed (all eight); no copy value, because the short
#                                     form of a relative path stays relative and never equals
#                                     the copy's "C:\Ovk\Zt4Home1"; AssemblyFolders key withdrawn
#   from C:\Ovk,  -i "Zt4Home1"       the same
#   from a directory where it does not resolve (Z:\tmp\...), -i "Ovk\Zt4Home1"
#                                     nothing installed; the missing Entity assembly fails both
#                                     targets, so the registry stays exactly as it was
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"

# install_from UNIX-DIR DIR: -i DIR started from UNIX-DIR, on a fresh lab; "before" is the
# registry as it was.
install_from() {
  lab_reset
  lab_snapshot
  before=$REG
  cd "$1"
  lab_tool -i "$2"
  cd "$OLDPWD"
  lab_snapshot
}

install_from "$DRIVE_C" 'Ovk\Zt4Home1'
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(reg_lines "$(folders_key)" "$before" | sed 's/^/-/')

install_from "$DRIVE_C/Ovk" 'Zt4Home1'
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(reg_lines "$(folders_key)" "$before" | sed 's/^/-/')

install_from "$SCRATCH" 'Ovk\Zt4Home1'
expect_gac </dev/null
expect_reg_change "$before" </dev/null
lab_finish
