#!/usr/bin/env bash
# -i on a registered copy with .NET Framework 2.0 and 4.0: the four assemblies for each
# runtime, the copy's name under both copy values, the AssemblyFolders key withdrawn.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset

lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1
expect_no_key "$(folders_key)"
# The copy's own key is the tool's input, never its output.
expect_value "$(copies_key)\\Zt4Home1" "Zt4 Path Name" 'C:\\Ovk\\Zt4Home1'

# Each runtime's files land in that runtime's store (the files are what a loader finds).
[[ -f $DRIVE_C/windows/assembly/GAC_MSIL/Ovk.Data.Zt4.Entity/${V2}__$TOKEN/Ovk.Data.Zt4.Entity.dll ]] ||
  fail "the 2.0 Entity assembly is not in windows\\assembly"
[[ -f $DRIVE_C/windows/Microsoft.NET/assembly/GAC_MSIL/Ovk.Data.Zt4.Entity/v4.0_${V4}__$TOKEN/Ovk.Data.Zt4.Entity.dll ]] ||
  fail "the 4.0 Entity assembly is not in windows\\Microsoft.NET\\assembly"

# A second run over the same cache changes nothing (the refresh flag replaces in place).
lab_tool -i "$HOME1"
before=$GAC
lab_snapshot
[[ $GAC == "$before" ]] || fail "a second -i changed the cache"
expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
lab_finish
