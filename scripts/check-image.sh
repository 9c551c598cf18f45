#!/usr/bin/env bash
# The rules a security review of a Windows binary applies, checked on the zt4gac.exe we ship: one
# named rule a line, "ok" or "FAIL" and why. Exits 1 when a rule fails. Reads the PE headers
# itself (od), the imports and the code through mingw-w64's objdump.
#
#   scripts/check-image.sh EXE
set -uo pipefail
exe=${1:?usage: check-image.sh EXE}
[[ -f $exe ]] || { echo "FAIL  an image to check: no file $exe" && exit 1; }
objdump=i686-w64-mingw32-objdump
failed=0

# rule NAME TEST...: runs TEST; prints the rule's line.
rule() {
  local name=$1
  shift
  if "$@"; then printf 'ok    %s\n' "$name"; else printf 'FAIL  %s\n' "$name" && failed=1; fi
}
u16() { od -An -t u2 -j "$1" -N 2 "$exe" | tr -d ' '; }
u32() { od -An -t u4 -j "$1" -N 4 "$exe" | tr -d ' '; }
has() { (($1 & $2)); }

pe=$(u32 60)
optional=$((pe + 24))
characteristics=$(u16 $((pe + 22)))
magic=$(u16 "$optional")
dll=$(u16 $((optional + 70)))
relocations=$(u32 $((optional + 140)))
# Each section's name and characteristics, "NAME FLAGS" a line.
count=$(u16 $((pe + 6)))
first=$((optional + $(u16 $((pe + 20)))))
sections=$(
  for ((i = 0; i < count; i++)); do
    at=$((first + 40 * i))
    printf '%s %s\n' "$(head -c $((at + 8)) "$exe" | tail -c 8 | tr -d '\0')" "$(u32 $((at + 36)))"
  done
)
headers=$($objdump -p "$exe")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | LC_ALL=C sort | tr '\n' ' ')

pe32_console() { [[ $(head -c 2 "$exe") == MZ && $magic == 267 ]] && (($(u16 $((pe + 4))) == 0x14c)) &&
  (($(u16 $((optional + 68))) == 3)); }
writable_and() { awk -v flag="$1" '{ if (int($2 / 2147483648) % 2 && int($2 / flag) % 2) { print $1; bad = 1 } }
  END { exit bad }' <<<"$sections"; }

rule "PE32 i386 console program" pe32_console
rule "TERMINAL_SERVER_AWARE: the real Windows folder on a Remote Desktop Session Host" has "$dll" 0x8000
rule "NO_SEH: registers no structured exception handler, so none can be forged" has "$dll" 0x0400
rule "DYNAMIC_BASE with a relocation section (ASLR)" eval '((dll & 0x40 && relocations > 0 && !(characteristics & 1)))'
rule "NX_COMPAT (data execution prevention)" has "$dll" 0x0100
rule "no section both writable and executable" writable_and 536870912
rule "no section both writable and shared" writable_and 268435456
rule "imports only kernel32, advapi32 and msvcrt (found: $imports)" \
  eval '[[ $imports == "advapi32.dll kernel32.dll msvcrt.dll " ]]'
rule "no code that registers a frame-based SEH handler (a write to %fs:0)" \
  eval '! $objdump -d "$exe" | grep -Eq ",%fs:0x0($|[^0-9a-fx])"'
rule "stack protector linked in (its \"stack smashing detected\" message)" grep -aq 'stack smashing detected' "$exe"
rule "asks for the invoker's rights (asInvoker manifest)" grep -aq 'level="asInvoker"' "$exe"
exit "$failed"
