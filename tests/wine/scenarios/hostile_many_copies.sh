#!/usr/bin/env bash
# An "InstalledCopies" key with 400 copies besides "Zt4Home1", each with an existing folder
# of its own, so the owner search converts every path it passes. The owner "Zt4Copy398"
# comes among the last (the registry lists subkeys by name); "Zt4Copy399" names the same
# folder in other letter case with a trailing backslash and loses to the first match;
# every 50th copy has no "Zt4 Path Name" and is reported invalid and skipped.
#
# Outcome: all eight assemblies installed, "Zt4Copy398" recorded for both targets, the
# AssemblyFolders key withdrawn, nothing else changed. The run time is printed next to a
# plain run's: 0.9 s against 0.4 s on the machine this was written on; the bound below
# only catches a search gone badly wrong.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
owner='C:\Ovk\Zt4 Owner'

lab_reset
lab_timed_tool -i "$HOME1"
plain_ms=$TOOL_MS

lab_reset
lab_layout "$owner"
many=$(lab_unix_path 'C:\Ovk\Many')
{
  for i in $(seq -w 1 400); do
    printf '[%s\\Zt4Copy%s]\n' "$(copies_key)" "$i"
    case $i in
      398) printf '"Zt4 Path Name"="%s"\n\n' "$(lab_reg_text "$owner")" ;;
      399) printf '"Zt4 Path Name"="%s"\n\n' "$(lab_reg_text 'c:\ovk\ZT4 OWNER\')" ;;
      *[05]0) printf '"Other"="no path"\n\n' ;;
      *)
        mkdir -p "$many/Copy $i"
        printf '"Zt4 Path Name"="%s"\n\n' "$(lab_reg_text "C:\\Ovk\\Many\\Copy $i")"
        ;;
    esac
  done
} | lab_reg_apply
lab_snapshot
before=$REG
count=$(grep -c "^$(copies_key | sed 's/\\/\\\\/g')\\\\Zt4Copy[0-9]*$" <<<"$REG")
((count == 400)) || fail "$count copies registered, not 400"

lab_timed_tool -i "$owner"
echo "-i: ${TOOL_MS} ms with $count more copies, ${plain_ms} ms with one"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(install_change "$before" Zt4Copy398)
((TOOL_MS < plain_ms + 15000)) || fail "-i took ${TOOL_MS} ms"

reported=$(lab_debug_strings -i "$owner")
expected=$(for i in $(seq 50 50 400); do printf 'Invalid Installation Name\nZt4Copy%03d\n' "$i"; done)
[[ $reported == "$expected" ]] || fail "the tool reported other copies as invalid: $(tr '\n' ' ' <<<"$reported")"
lab_finish
