#!/usr/bin/env bash
# Installed copies whose "Zt4 Path Name" is no usable string, enumerated before the real
# owner "Zt4Home1". The tool reads the value's bytes into a 256-byte buffer whatever its
# type (the read asks for none) and keeps at most 255 characters and a terminator:
#
#   copy       "Zt4 Path Name"                         outcome
#   Zt4A1Dword REG_DWORD 0x43 (bytes 43 00 00 00)      path "C": listed, matches nothing
#   Zt4A2Junk  REG_BINARY, 20 bytes 0xFF, no NUL       path of 20 0xFF bytes: listed, no match
#   Zt4A3Blob  REG_BINARY, 300 bytes                   too long: invalid, reported, skipped
#   Zt4A4Fits  REG_SZ, 255 characters                  fits: listed, its folder does not exist
#   Zt4A5Long  REG_SZ, 256 characters                  too long: invalid, reported, skipped
#   Zt4A6Huge  REG_SZ, 5000 characters                 too long: invalid, reported, skipped
#
# Nothing crashes, all eight assemblies are installed, "Zt4Home1" is recorded for both
# targets and the AssemblyFolders key withdrawn; none of the copies above gets a value.
# "Reported" is the debugger text "Invalid Installation Name" and the copy's name, seen
# here through Wine's debugstr channel.
#
# Second part: a REG_BINARY whose bytes spell "C:\Ovk\Zt4Home1" and a terminator is read
# like the string it spells. That copy ("Zt4A0Spelled", listed first) becomes the owner and
# is recorded instead of "Zt4Home1".
source "$(dirname "$0")/../lab.sh"
lab_enter "$MAIN_PREFIX"

# hex_bytes N BYTE: N times BYTE (two hex digits) in .reg hex notation.
hex_bytes() { printf "$2,%.0s" $(seq "$1") | sed 's/,$//'; }
# hex_text TEXT: the bytes of TEXT and a terminator in .reg hex notation.
hex_text() { printf '%s' "$1" | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//'; printf ',00'; }
chars() { printf "$2%.0s" $(seq "$1"); }

fits='C:\Ovk\'$(chars 248 F)
long='C:\Ovk\'$(chars 249 L)
((${#fits} == 255 && ${#long} == 256)) || fail "the path values have ${#fits} and ${#long} characters"

lab_reset
lab_reg_apply <<EOF2
[$(copies_key)\\Zt4A1Dword]
"Zt4 Path Name"=dword:00000043

[$(copies_key)\\Zt4A2Junk]
"Zt4 Path Name"=hex:$(hex_bytes 20 ff)

[$(copies_key)\\Zt4A3Blob]
"Zt4 Path Name"=hex:$(hex_bytes 300 41)

[$(copies_key)\\Zt4A4Fits]
"Zt4 Path Name"="$(lab_reg_text "$fits")"

[$(copies_key)\\Zt4A5Long]
"Zt4 Path Name"="$(lab_reg_text "$long")"

[$(copies_key)\\Zt4A6Huge]
"Zt4 Path Name"="C:\\\\$(chars 4997 H)"
EOF2
lab_snapshot
before=$REG
expect_key "$(copies_key)\\Zt4A6Huge"

lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(install_change "$before" Zt4Home1)

reported=$(lab_debug_strings -i "$HOME1")
expected=$(printf 'Invalid Installation Name\n%s\n' Zt4A3Blob Zt4A5Long Zt4A6Huge)
[[ $reported == "$expected" ]] || fail "the tool reported other copies as invalid: $(tr '\n' ' ' <<<"$reported")"

# ---- a binary value that spells the directory ------------------------------------------
lab_reset
lab_reg_apply <<EOF2
[$(copies_key)\\Zt4A0Spelled]
"Zt4 Path Name"=hex:$(hex_text "$HOME1")
EOF2
lab_snapshot
before=$REG
lab_tool -i "$HOME1"
lab_snapshot
expect_gac < <(product_entries "$V2"; product_entries "$V4")
expect_reg_change "$before" < <(install_change "$before" Zt4A0Spelled)
lab_finish
