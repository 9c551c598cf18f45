#!/usr/bin/env bash
# An installation directory with spaces, and the same directory written with "." and ".."
# segments. The file calls resolve the segments, so the assemblies are always found and
# installed; whether the owning copy is found is decided by comparing short names, and
# Wine's GetShortPathNameA keeps "." and ".." as they stand:
#
#   -i "C:\Ovk\Zt4 Home 2"                  installed, "Zt4Home2" recorded for both targets,
#                                           AssemblyFolders key withdrawn
#   -i "C:\Ovk\x\..\Zt4 Home 2" (no "x")    installed; the short-name conversion fails on the
#                                           missing "x", so no owner: no copy value; the key
#                                           is withdrawn (an unowned directory is no failure)
#   -i "C:\Ovk\Zt4Home1\..\Zt4 Home 2"      installed; converts to "C:\Ovk\Zt4Home1\..\ZT4_~ATW",
#                                           which is not the copy's "C:\Ovk\ZT4_~ATW": no copy
#                                           value, key withdrawn
#   -i "C:\Ovk\.\Zt4 Home 2", "C:\Ovk\Zt4 Home 2\." and "C:/Ovk/Zt4 Home 2"
#                                           the same: installed, no owner, key withdrawn
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
home2='C:\Ovk\Zt4 Home 2'

reset_home2() {
  lab_reset
  lab_layout "$home2"
  lab_register_copy Zt4Home2 "$home2"
  lab_snapshot
  before=$REG
}

reset_home2
lab_tool -i "$home2"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(install_change "$before" Zt4Home2)

for spelling in 'C:\Ovk\x\..\Zt4 Home 2' 'C:\Ovk\Zt4Home1\..\Zt4 Home 2' 'C:\Ovk\.\Zt4 Home 2' \
  'C:\Ovk\Zt4 Home 2\.' 'C:/Ovk/Zt4 Home 2'; do
  reset_home2
  lab_tool -i "$spelling"
  lab_snapshot
  expect_gac < <(product_entries "$V2"; product_entries "$V4")
  expect_reg_change "$before" < <(reg_lines "$(folders_key)" "$before" | sed 's/^/-/')
done
lab_finish
