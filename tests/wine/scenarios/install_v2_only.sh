#!/usr/bin/env bash
# -i on a machine whose newest framework is 2.0 (only the policy key v2.0; fusion.dll
# comes from v2.0.50727): the 2.0 assemblies only. The 4.0 target is skipped without
# failure, so the AssemblyFolders key is withdrawn, and it gets no copy value.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset v2-only

lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V2")
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
expect_no_value "$(copies_key)" 10.1.6.DEF.4
expect_no_key "$(folders_key)"
lab_finish
