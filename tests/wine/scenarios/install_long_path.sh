#!/usr/bin/env bash
# -i on an installation directory so long that each assembly's file path is well over
# 128 characters (but the directory within the tool's 260): installed, copy recorded.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset
long='C:\Ovk\Zt4 Home With A Rather Long Name For Testing\Product Installation Directory\Second Level Folder Name'
lab_layout "$long"
lab_register_copy Zt4Long "$long"
path="$long\\bin\\netf40_32\\Ovk.Data.Zt4.dll"
((${#path} > 128)) || fail "the test path is only ${#path} characters"

lab_tool -i "$long"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Long
expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Long
expect_no_key "$(folders_key)"
lab_finish
