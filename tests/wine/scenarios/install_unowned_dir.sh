#!/usr/bin/env bash
# -i on a directory that no registered copy owns: installed, no copy value written, the
# AssemblyFolders key withdrawn all the same.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset
lab_layout 'C:\Ovk\Elsewhere'

lab_tool -i 'C:\Ovk\Elsewhere'
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_no_value "$(copies_key)" 10.1.6.DEF.2
expect_no_value "$(copies_key)" 10.1.6.DEF.4
expect_no_key "$(folders_key)"
lab_finish
