#!/usr/bin/env bash
# The second assembly is not installed while an "Ovk.Data.Quillmor" below 9.0.0.2 is in
# the cache (for neither runtime); with 9.0.0.2 or newer cached it is installed.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"

for old in 8.1.0.0 9.0.0.1; do
  lab_reset
  lab_seed "$ASSEMBLIES/quillmor-$old/Ovk.Data.Quillmor.dll"
  lab_tool -i "$HOME1"
  lab_snapshot
  expect_gac < <(gac_line Ovk.Data.Quillmor "$old"
    product_entries "$V2" Ovk.Data.Zt4 Ovk.Data.Zt4.ASP Ovk.Data.Zt4.Entity
    product_entries "$V4" Ovk.Data.Zt4 Ovk.Data.Zt4.ASP Ovk.Data.Zt4.Entity)
  # Passing over the assembly is no failure.
  expect_no_key "$(folders_key)"
  expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
done

lab_reset
lab_seed "$ASSEMBLIES/quillmor-9.0.0.2/Ovk.Data.Quillmor.dll"
lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(gac_line Ovk.Data.Quillmor 9.0.0.2; product_entries "$V2"; product_entries "$V4")
expect_no_key "$(folders_key)"
lab_finish
