#!/usr/bin/env bash
# A framework policy key with 301 version subkeys besides v2.0 and v4.0, every one with a
# value, and all of them below "v4.0" in byte order, numbers that read greater included
# (v10.x, v39.x: versions compare as text). Their directories do not exist, so fusion.dll
# can only come from v4.0.30319, the greatest key's folder. Also an upper-case "V3.999"
# (lowercased, still below v4.0), and two keys that do not begin with "v" and are skipped,
# "Upgrades" and "x9.9" (taken, "x9.9" would be the greatest key, and it has no folder).
#
# Outcome: -i installs all eight assemblies, records "Zt4Home1" and withdraws the
# AssemblyFolders key; -u removes the eight again; the policy key is left as it was. The
# run time is printed next to a plain run's: 0.5 s against 0.25 s on the machine this was
# written on (two detections of 303 keys each); the bound below only catches a gross slip.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
policy="$VIEW\\Microsoft\\.NETFramework\\policy"

lab_reset
lab_timed_tool -i "$HOME1"
plain_ms=$TOOL_MS

lab_reset
{
  for i in $(seq 0 99); do
    printf '[%s\\v1.%d]\n"%d"="%d-%d"\n\n' "$policy" "$i" "$i" "$i" "$i"
    printf '[%s\\v3.%d]\n"%d"="%d-%d"\n\n' "$policy" "$i" "$i" "$i" "$i"
  done
  for i in $(seq 10 39); do
    for minor in 0 5; do printf '[%s\\v%d.%d]\n"1"="x"\n\n' "$policy" "$i" "$minor"; done
  done
  for i in $(seq 0 39); do printf '[%s\\v2.0.%d]\n"2"="x"\n\n' "$policy" "$i"; done
  printf '[%s\\V3.999]\n"1"="x"\n\n[%s\\Upgrades]\n"1"="x"\n\n[%s\\x9.9]\n"1"="x"\n\n' "$policy" "$policy" "$policy"
} | lab_reg_apply
lab_snapshot
before=$REG
# Key lines only (values follow a tab): the policy key's direct subkeys that begin with v.
count=$(PREFIX="$policy\\" awk -F '\t' 'NF == 1 && index($0, ENVIRON["PREFIX"]) == 1 &&
  substr($0, length(ENVIRON["PREFIX"]) + 1) ~ /^[vV][^\\]*$/' <<<"$REG" | wc -l)
((count == 303)) || fail "the policy key has $count version subkeys, not 303"

lab_timed_tool -i "$HOME1"
echo "-i: ${TOOL_MS} ms with $count version subkeys, ${plain_ms} ms with two"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(install_change "$before" Zt4Home1)
((TOOL_MS < plain_ms + 10000)) || fail "-i took ${TOOL_MS} ms"

lab_tool -u
lab_snapshot
expect_gac </dev/null
expect_reg_change "$before" < <(install_change "$before" Zt4Home1)
lab_finish
