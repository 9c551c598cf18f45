#!/usr/bin/env bash
# Shows what zt4gac.exe does, under Wine, in a few minutes:
#
#   scripts/demo.sh
#
# Installs the Debian packages that are missing, builds zt4gac.exe alone (no tests), makes
# a fresh Wine prefix under build/demo/ with an Ovk Zt4 installation (real strong-named
# provider assemblies for .NET 2.0 and 4.0) registered as the product copy "Zt4Home1",
# then runs `zt4gac.exe -i C:\Ovk\Zt4Home1` and `zt4gac.exe -u` and prints the GAC entries
# and the registry values before and after each. It checks what it shows and exits
# non-zero when something differs.
#
# The shipped tool is 32-bit (i686). On a host whose kernel cannot execute 32-bit x86
# code, the demo shows the same sources built for x86_64 under wine64 instead, and says so.
# ZT4GAC_WINE_WHERE=native forces the shipped build, =x86_64 the other (scripts/wine-lab.sh).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD
log=$repo/build/demo.log

source scripts/lib/packages.sh
source scripts/wine-lab.sh

say() { printf '%s\n' "$*"; }
heading() { printf '\n== %s\n\n' "$*"; }

# quietly CMD...: runs CMD with its output in the log; on failure shows the log's end.
quietly() {
  if ! "$@" >>"$log" 2>&1; then
    say "failed: $*" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}

# ---- what it shows -------------------------------------------------------------------------

# The GAC, from the stores' folders as Wine's fusion.dll keeps them.
show_gac() {
  local listing
  listing=$(lab_gac)
  if [[ -z $listing ]]; then
    say "  GAC: (no Ovk assembly)"
    return
  fi
  printf '  %-8s %-22s %s\n' Runtime "GAC entry" Version
  # shellcheck disable=SC2086 # one field a word: runtime, name, version
  printf '  %-8s %-22s %s\n' $listing
}

# The values below the product's key and the provider's AssemblyFolders key (key relative
# to HKLM\SOFTWARE, value name, data); a missing key is said so.
show_registry() {
  local key
  printf '  %-52s %s\n' "Key (HKLM\\SOFTWARE\\...)" "Value = data"
  for key in "$COPIES" "$FOLDERS"; do
    grep -q -x -F "$key" <<<"$REGISTRY" || printf '  %-52s %s\n' "$key" "(key absent)"
  done
  grep -F '|' <<<"$REGISTRY" | grep -v '^Microsoft\\.NETFramework\\policy' |
    awk -F'|' '{ gsub(/\\\\/, "\\", $2); printf "  %-52s %s\n", $1, $2 }'
}

show_state() {
  REGISTRY=$(lab_registry)
  show_gac
  say
  show_registry
}

# run_tool ARGS...: runs zt4gac.exe and reports its exit code and whatever it printed.
run_tool() {
  local status=0 printed
  "$WINE" "$TOOL" "$@" >"$SCRATCH/out" 2>&1 </dev/null || status=$?
  printed=$(wc -c <"$SCRATCH/out")
  say "  exit code $status, $printed bytes printed"
  sed 's/^/    | /' "$SCRATCH/out"
  # The tool's contract: silent, and 0 whatever happened.
  ((status == 0 && printed == 0)) || FAILURES+=("zt4gac.exe $* exited with $status or printed something")
}

# expect WHAT GAC-LINES REGISTRY-LINES...: the GAC is exactly GAC-LINES and the registry
# holds each of REGISTRY-LINES ("!LINE": does not hold it).
expect() {
  local what=$1 gac=$2 line
  shift 2
  [[ $(lab_gac) == "$gac" ]] || FAILURES+=("$what: the GAC is not as expected")
  for line; do
    if [[ $line == !* ]]; then
      ! grep -q -x -F "${line#!}" <<<"$REGISTRY" || FAILURES+=("$what: the registry still has ${line#!}")
    else
      grep -q -x -F "$line" <<<"$REGISTRY" || FAILURES+=("$what: the registry lacks $line")
    fi
  done
}

verdict() {
  say
  if ((${#FAILURES[@]} == 0)); then
    say "  As expected: $1"
    shift
    printf '  %s\n' "$@"
  else
    say "  NOT as expected:" "${FAILURES[@]/#/    }"
    exit 1
  fi
}

# ---- the demo ------------------------------------------------------------------------------

main() {
  mkdir -p build
  : >"$log"
  heading "Preparing (details in build/demo.log)"
  say "packages: installing whatever is missing (a few minutes on a fresh machine)"
  quietly ensure_i386_architecture
  quietly apt_install_missing "${BUILD_PACKAGES[@]}" "${WINE_PACKAGES[@]}"

  # The demo does not boot the emulated guest: where the shipped exe cannot run here, it shows
  # the x86_64 build.
  local arch=x86_64 build
  [[ $(wine_where) != native ]] || arch=i686
  lab_init "$repo/build/demo" "$arch"
  # Only the tool, in a folder of its own: the tests would need more packages than the demo shows.
  build=build/demo-$arch
  quietly cmake --preset "$(lab_preset)" -B "$build" -DZT4GAC_BUILD_TESTS=OFF
  quietly cmake --build "$build" -j 2 --target zt4gac
  TOOL=$repo/$build/src/zt4gac.exe
  say "built: $build/src/zt4gac.exe"
  trap lab_stop EXIT
  quietly lab_assemblies
  say "assemblies: the four providers, strong-named, $V2 for .NET 2.0 and $V4 for .NET 4.0"
  quietly lab_prefix
  quietly lab_reset

  heading "What runs"
  if [[ $arch == i686 ]]; then
    say "The shipped 32-bit build, $build/src/zt4gac.exe (i686), in a 32-bit Wine prefix."
  else
    say "The shipped 32-bit zt4gac.exe does not run here (ZT4GAC_WINE_WHERE=$(wine_where)), so shown"
    say "instead: the same sources built"
    say "for x86_64, $build/src/zt4gac.exe, in a 64-bit Wine prefix."
  fi
  say "Prefix: build/demo/$WINARCH (Wine's fusion.dll serves as .NET 2.0's and 4.0's)."
  say "Product copy \"Zt4Home1\" at $HOME1, with the providers in"
  say "bin\\netf20_32 and bin\\netf40_32; .NET Framework 2.0 and 4.0 registered."

  heading "Before"
  show_state

  FAILURES=()
  heading "zt4gac.exe -i $HOME1"
  run_tool -i "$HOME1"
  say
  show_state
  local all name
  all=$(for name in "${PROVIDER_NAMES[@]}"; do echo "2.0 $name $V2"; echo "4.0 $name $V4"; done | LC_ALL=C sort)
  expect "-i" "$all" "$COPIES|\"10.1.6.DEF.2\"=\"Zt4Home1\"" "$COPIES|\"10.1.6.DEF.4\"=\"Zt4Home1\"" "!$FOLDERS"
  verdict "each runtime's four assemblies are in the GAC; the copy's name is recorded" \
    "for both targets; the AssemblyFolders key is withdrawn (every install succeeded)."

  heading "zt4gac.exe -u"
  run_tool -u
  say
  show_state
  expect "-u" "" "$COPIES|\"10.1.6.DEF.2\"=\"Zt4Home1\"" "$COPIES|\"10.1.6.DEF.4\"=\"Zt4Home1\""
  verdict "the four names are gone for both runtimes. The copy records stay (-u deletes" \
    "only those whose provider version begins with 9); the AssemblyFolders value it" \
    "would delete went with the key at -i."
}

main "$@"
