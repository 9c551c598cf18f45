#!/usr/bin/env bash
# -i with the registered directory written in other letter case and with a trailing
# backslash: the same files and the same copy found.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset

lab_tool -i 'c:\ovk\ZT4HOME1\'
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1
expect_no_key "$(folders_key)"
lab_finish
