#!/usr/bin/env bash
# A target whose files are incomplete fails; the others are installed all the same, the
# AssemblyFolders key stays, and a target with nothing installed gets no copy value.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
home=$(lab_unix_path "$HOME1")

# The 4.0 Entity assembly missing: 2.0 complete, 4.0 without Entity.
lab_reset
rm "$home/bin/netf40_32/Ovk.Data.Zt4.Entity.dll"
lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4" Ovk.Data.Zt4 Ovk.Data.Quillmor Ovk.Data.Zt4.ASP)
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1
expect_key "$(folders_key)"
expect_value "$(folders_key)" Ovk.Data.Zt4 'C:\\Ovk\\Zt4Home1\\bin'

# A file that is no assembly in place of the 2.0 main assembly: the GAC refuses it, the
# other 2.0 assemblies and all 4.0 ones are installed.
lab_reset
echo "not an assembly" >"$home/bin/netf20_32/Ovk.Data.Zt4.dll"
lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V2" Ovk.Data.Quillmor Ovk.Data.Zt4.ASP Ovk.Data.Zt4.Entity; product_entries "$V4")
expect_key "$(folders_key)"

# The 2.0 folder holds only a broken Entity file: nothing is installed for 2.0, so the
# 2.0 target gets no copy value; the 4.0 target is installed and recorded.
lab_reset
rm "$home"/bin/netf20_32/*.dll
echo "not an assembly" >"$home/bin/netf20_32/Ovk.Data.Zt4.Entity.dll"
lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V4")
expect_no_value "$(copies_key)" 10.1.6.DEF.2
expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1
expect_key "$(folders_key)"
lab_finish
