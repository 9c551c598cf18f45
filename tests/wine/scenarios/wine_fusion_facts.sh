#!/usr/bin/env bash
# What Wine's fusion.dll does, checked with the checker alone (no tool run), because the
# other scenarios' expectations rest on it. Where Wine differs from Windows it says so;
# expectations only Windows meets (strong-name refusal, install references, entries in
# use) belong to the host tests against the stand-in.
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"
lab_reset

lab_seed "$ASSEMBLIES/net20/Ovk.Data.Zt4.dll" "$ASSEMBLIES/net40/Ovk.Data.Zt4.dll" \
  "$ASSEMBLIES/quillmor-9.0.0.1/Ovk.Data.Quillmor.dll" "$ASSEMBLIES/bystander/Ovk.Data.Bystander.dll"

# The store follows the runtime in the assembly's metadata: 2.0 below windows\assembly,
# 4.0 below windows\Microsoft.NET\assembly with a "v4.0_" folder prefix.
for file in "windows/assembly/GAC_MSIL/Ovk.Data.Zt4/${V2}__$TOKEN/Ovk.Data.Zt4.dll" \
  "windows/Microsoft.NET/assembly/GAC_MSIL/Ovk.Data.Zt4/v4.0_${V4}__$TOKEN/Ovk.Data.Zt4.dll"; do
  [[ -f $DRIVE_C/$file ]] || fail "no $file"
done

# Windows refuses an unsigned assembly; Wine installs it (with a token of its own making).
lab_checker install "$(wine_path "$ASSEMBLIES/unsigned/Ovk.Data.Unsigned.dll")" ||
  fail "Wine refused an unsigned assembly"
lab_snapshot
grep -q '^Ovk\.Data\.Unsigned, Version=1\.0\.0\.0' <<<"$GAC" || fail "the unsigned assembly is not listed"
lab_checker uninstall 'Ovk.Data.Unsigned' >/dev/null

# Wine's name parser ignores attributes it does not know: "File Version=9" is no filter,
# so the uninstall command's "Ovk.Data.Zt4,File Version=9" selects every cached version.
matched=$(lab_checker list 'Ovk.Data.Zt4,File Version=9')
expected=$(product_entries "$V2" Ovk.Data.Zt4; product_entries "$V4" Ovk.Data.Zt4)
[[ $matched == "$expected" ]] || fail "\"Ovk.Data.Zt4,File Version=9\" matched: $matched"

# The enumerator walks by name, then by version, the 2.0 store before the 4.0 store;
# the name must match exactly (Ovk.Data.Zt4 does not select Ovk.Data.Zt4.ASP).
order=$(lab_checker order)
echo "enumeration order:"; sed 's/^/    /' <<<"$order"
expected=$(gac_line Ovk.Data.Bystander 1.0.0.0; gac_line Ovk.Data.Quillmor 9.0.0.1;
  product_entries "$V2" Ovk.Data.Zt4; product_entries "$V4" Ovk.Data.Zt4)
[[ $(grep '^Ovk\.' <<<"$order") == "$expected" ]] || fail "unexpected enumeration order"

# Length-only queries answer E_NOT_SUFFICIENT_BUFFER (0x8007007a) with the length
# including the terminator, for GetDisplayName and GetName alike.
lengths=$(lab_checker lengths Ovk.Data.Zt4)
echo "$lengths"
name="Ovk.Data.Zt4, Version=$V2, PublicKeyToken=$TOKEN"
grep -qxF "GetDisplayName(null) hr=0x8007007a length=$((${#name} + 1)) text=${#name} \"$name\"" <<<"$lengths" ||
  fail "GetDisplayName length convention differs"
grep -qxF "GetName(null) hr=0x8007007a length=13" <<<"$lengths" || fail "GetName length convention differs"

# An uninstall with an install reference is not implemented (E_NOTIMPL) and removes nothing.
answer=$(lab_checker uninstall "$name" --reference)
[[ $answer == "hr=0x80004001 disposition=0" ]] || fail "uninstall with a reference answered: $answer"
lab_snapshot
grep -qxF "$(gac_line Ovk.Data.Zt4 "$V2")" <<<"$GAC" || fail "the uninstall with a reference removed the entry"

lab_finish
