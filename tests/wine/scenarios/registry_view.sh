#!/usr/bin/env bash
# In a 64-bit prefix the tool reads and writes only the registry view of its own bitness
# (the 32-bit view, WOW6432Node, for the shipped 32-bit tool): a copy registered only in
# the other view is not found, and nothing is written there.
source "$(dirname "$0")/../lab.sh"
lab_enter "$WOW_PREFIX"
echo "tool view: $VIEW; other view: $OTHER_VIEW"

# The copy only in the other view: installed (the directory has the files) but unowned.
lab_reset
lab_reg_apply <<EOF2
[-$(copies_key)\\Zt4Home1]

[$(folders_key "$OTHER_VIEW")]
"Ovk.Data.Zt4"="other view"
EOF2
lab_register_copy Zt4Home1 "$HOME1" "$OTHER_VIEW"
lab_tool -i "$HOME1"
lab_snapshot "$VIEW" "$OTHER_VIEW"
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_no_value "$(copies_key)" 10.1.6.DEF.2
expect_no_value "$(copies_key "$OTHER_VIEW")" 10.1.6.DEF.2
expect_no_value "$(copies_key "$OTHER_VIEW")" 10.1.6.DEF.4
expect_no_key "$(folders_key)"
# The other view's AssemblyFolders key is not the tool's to withdraw.
expect_value "$(folders_key "$OTHER_VIEW")" Ovk.Data.Zt4 "other view"

# The same set-up with the copy in the tool's view: found, and recorded in that view only.
lab_reset
lab_tool -i "$HOME1"
lab_snapshot "$VIEW" "$OTHER_VIEW"
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1
expect_no_key "$(copies_key "$OTHER_VIEW")"
lab_finish
