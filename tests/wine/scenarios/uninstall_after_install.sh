#!/usr/bin/env bash
# -u after -i: the four names are removed for both runtimes, the value "Ovk.Data.Zt4" of
# the AssemblyFolders key is deleted (the key and its other values stay), the copy values
# are kept (their provider versions do not begin with 9), other assemblies stay.
#
# Wine's parser ignores the unknown attribute in "Ovk.Data.Zt4,File Version=9": the name
# selects every cached version of Ovk.Data.Zt4, here 10.1.6.2 and 10.1.6.4 (on Windows
# the attribute would not select these either way; the removal is by Wine's reading).
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset
lab_seed "$ASSEMBLIES/bystander/Ovk.Data.Bystander.dll"
lab_tool -i "$HOME1"
# -i withdrew the key; a product installer would have registered it again.
lab_reg_apply <<EOF2
[$(folders_key)]
"Ovk.Data.Zt4"="x"
"Other"="y"
EOF2

lab_tool -u
lab_snapshot
expect_gac < <(gac_line Ovk.Data.Bystander 1.0.0.0)
expect_key "$(folders_key)"
expect_no_value "$(folders_key)" Ovk.Data.Zt4
expect_value "$(folders_key)" Other y
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1

# An older Quillmor in the cache is not removed by -u; the rest goes.
lab_reset
lab_seed "$ASSEMBLIES/quillmor-8.1.0.0/Ovk.Data.Quillmor.dll"
lab_tool -i "$HOME1"
lab_tool -u
lab_snapshot
expect_gac < <(gac_line Ovk.Data.Quillmor 8.1.0.0)
lab_finish
