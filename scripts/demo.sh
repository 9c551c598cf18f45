#!/usr/bin/env bash
# Shows what zt4gac.exe does, under Wine, in a few minutes:
#
#   scripts/demo.sh
#
# Installs the Debian packages that are missing, builds zt4gac.exe and the GAC checker,
# makes a fresh Wine prefix under build/demo/ with an Ovk Zt4 installation (real
# strong-named provider assemblies for .NET 2.0 and 4.0) registered as the product copy
# "Zt4Home1", then runs `zt4gac.exe -i C:\Ovk\Zt4Home1` and `zt4gac.exe -u` and prints
# the GAC entries and the registry values before and after each.
#
# The shipped tool is 32-bit (i686). On a host whose kernel cannot execute 32-bit x86
# code, the demo shows the same sources built for x86_64 under wine64 instead, and says so.
# ZT4GAC_WINE_ARCH=i686|x86_64 forces the choice, as for tests/wine/run.sh.
# shellcheck source-path=SCRIPTDIR/..
# shellcheck disable=SC2119 # the lab helpers take optional arguments
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD
demo=$repo/build/demo
log=$repo/build/demo.log

readonly JOBS=2
readonly PACKAGES=(cmake ninja-build g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64-win32
  wine wine32:i386 wine64 mono-mcs mono-devel)

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

source scripts/lib/packages.sh

install_missing_packages() {
  say "packages: installing whatever is missing (a few minutes on a fresh machine)"
  quietly ensure_i386_architecture
  quietly apt_install_missing "${PACKAGES[@]}"
}

# build_tool ARCH: zt4gac.exe and gac_list.exe of ARCH; sets BUILD.
build_tool() {
  if [[ $1 == i686 ]]; then
    BUILD=build/windows-x86
    quietly cmake --preset windows-x86
  else
    BUILD=build/windows-x64-wine
    quietly cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake"
  fi
  quietly cmake --build "$BUILD" -j "$JOBS" --target zt4gac gac_list
}

# ---- tables --------------------------------------------------------------------------------

# The GAC as fusion.dll lists it, with the store each entry's files are in.
show_gac() {
  local listing line name version token store
  listing=$(lab_gac)
  if [[ -z $listing ]]; then
    say "  GAC: (empty)"
    return
  fi
  printf '  %-22s %-10s %s\n' "GAC entry" Version "Runtime store"
  while IFS= read -r line; do
    name=${line%%,*}
    version=$(sed -n 's/.*Version=\([^,]*\).*/\1/p' <<<"$line")
    token=$(sed -n 's/.*PublicKeyToken=\([^,]*\).*/\1/p' <<<"$line")
    store=
    [[ -d $DRIVE_C/windows/assembly/GAC_MSIL/$name/${version}__$token ]] &&
      store='2.0  C:\windows\assembly'
    [[ -d $DRIVE_C/windows/Microsoft.NET/assembly/GAC_MSIL/$name/v4.0_${version}__$token ]] &&
      store="${store:+$store; }"'4.0  C:\windows\Microsoft.NET\assembly'
    printf '  %-22s %-10s %s\n' "$name" "$version" "${store:-?}"
  done <<<"$listing"
}

# The values below the product's key and the provider's AssemblyFolders key, as a table
# (key relative to HKLM\SOFTWARE, value name, data); a missing key is said so.
show_registry() {
  local copies='Ovk\Zt4\InstalledCopies' folders='Microsoft\.NETFramework\AssemblyFolders\OVK.DATA.ZT4'
  printf '  %-52s %-15s %s\n' "Key (HKLM\\SOFTWARE\\...)" "Value name" Data
  {
    wine_reg_export "$VIEW\\$copies"
    wine_reg_export "$VIEW\\$folders"
  } | awk -v root="$VIEW\\" -v copies="$copies" -v folders="$folders" '
    function unquote(text) {
      if (text ~ /^".*"$/) { text = substr(text, 2, length(text) - 2); gsub(/\\\\/, "\\", text) }
      return text
    }
    function row(key, name, data) {
      if (data == "") printf "  %-52s %s\n", key, name
      else printf "  %-52s %-15s %s\n", key, name, data
    }
    /^\[/ { key = substr($0, 2 + length(root), length($0) - 2 - length(root)); seen[key] = 1; shown[key] = 0; next }
    /^(Windows Registry Editor|REGEDIT4)/ || /^$/ { next }
    {
      split_at = index($0, "=")
      name = unquote(substr($0, 1, split_at - 1))
      if (name == "@") name = "(default)"
      row(key, name, unquote(substr($0, split_at + 1)))
      shown[key] = 1
    }
    END {
      for (key in seen) if (!shown[key] && key != copies) row(key, "(no values)", "")
      if (!(copies in seen)) row(copies, "(key absent)", "")
      if (!(folders in seen)) row(folders, "(key absent)", "")
    }'
}

# verdict LINES...: the expectations just checked (lab.sh's expect_*) held or not.
VERDICT_FAILURES=0
verdict() {
  say
  if ((FAILURES == VERDICT_FAILURES)); then
    say "  As expected: $1"
    shift
    local line
    for line in "$@"; do say "  $line"; done
  else
    say "  NOT as expected (see FAIL above)."
  fi
  VERDICT_FAILURES=$FAILURES
}

show_state() {
  show_gac
  say
  show_registry
}

# run_tool ARGS...: runs zt4gac.exe and reports its exit code and whatever it printed.
run_tool() {
  local status=0 printed
  "$WINE" "$ZT4_TOOL" "$@" >"$SCRATCH/out" 2>"$SCRATCH/err" || status=$?
  printed=$(cat "$SCRATCH/out" "$SCRATCH/err" | wc -c)
  if ((printed == 0)); then
    say "  exit code $status, nothing printed"
  else
    say "  exit code $status, printed $printed bytes:"
    sed 's/^/    | /' "$SCRATCH/out" "$SCRATCH/err"
  fi
  # The tool's contract: silent, and 0 whatever happened.
  ((status == 0 && printed == 0)) || fail "zt4gac.exe $* exited with $status or printed something"
}

# ---- the demo ------------------------------------------------------------------------------

main() {
  mkdir -p "$repo/build"
  : >"$log"
  heading "Preparing (details in build/demo.log)"
  install_missing_packages

  source scripts/wine-prefix.sh
  local arch=${ZT4GAC_WINE_ARCH:-$(wine_tool_arch)} winarch
  build_tool "$arch"
  say "built: $BUILD/src/zt4gac.exe and the GAC checker $BUILD/tests/wine/gac_list.exe"

  if [[ $arch == i686 ]]; then
    winarch=win32
  else
    winarch=win64
  fi
  export ZT4_WINE_LAB=$demo ZT4_TOOL=$repo/$BUILD/src/zt4gac.exe
  export ZT4_CHECKER=$repo/$BUILD/tests/wine/gac_list.exe ZT4_TOOL_ARCH=$arch
  source tests/wine/lab.sh
  trap 'lab_stop_prefixes; rm -rf "$SCRATCH"' EXIT

  # A fresh prefix: the one of an earlier run, and its server, go first.
  lab_stop_prefixes
  rm -rf "$demo"
  mkdir -p "$demo"
  local name
  for name in "${PROVIDER_NAMES[@]}"; do
    quietly tests/assemblies/build.sh "$ASSEMBLIES/net20" "$name" "$V2" 2
    quietly tests/assemblies/build.sh "$ASSEMBLIES/net40" "$name" "$V4" 4
  done
  say "assemblies: the four providers, strong-named, $V2 for .NET 2.0 and $V4 for .NET 4.0"
  quietly wine_make_prefix "$demo/$winarch" "$winarch"
  quietly wine_add_frameworks "$demo/$winarch" "$arch"
  lab_enter "$demo/$winarch"
  lab_reset

  heading "What runs"
  if [[ $arch == i686 ]]; then
    say "The shipped 32-bit build, $BUILD/src/zt4gac.exe (i686), in a 32-bit Wine prefix."
  else
    if [[ -n ${ZT4GAC_WINE_ARCH:-} ]]; then
      say "ZT4GAC_WINE_ARCH=$arch chose the 64-bit build:"
    else
      say "This host cannot execute 32-bit x86 code (its kernel has no IA-32 emulation), so the"
      say "shipped 32-bit zt4gac.exe cannot start here. Shown instead: the same sources built"
    fi
    say "for x86_64, $BUILD/src/zt4gac.exe, in a 64-bit Wine prefix."
  fi
  say "Prefix: build/demo/$winarch (Wine's fusion.dll serves as .NET 2.0's and 4.0's)."
  say "Product copy \"Zt4Home1\" at $HOME1, with the providers in"
  say "bin\\netf20_32 and bin\\netf40_32; .NET Framework 2.0 and 4.0 registered."

  heading "Before"
  show_state

  heading "zt4gac.exe -i $HOME1"
  run_tool -i "$HOME1"
  say
  show_state
  lab_snapshot
  expect_gac < <(product_entries "$V2"; product_entries "$V4")
  expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
  expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1
  expect_no_key "$(folders_key)"
  verdict "each runtime's four assemblies are in the GAC; the copy's name is recorded" \
    "for both targets; the AssemblyFolders key is withdrawn (every install succeeded)."

  heading "zt4gac.exe -u"
  run_tool -u
  say
  show_state
  lab_snapshot
  expect_gac </dev/null
  expect_value "$(copies_key)" 10.1.6.DEF.2 Zt4Home1
  expect_value "$(copies_key)" 10.1.6.DEF.4 Zt4Home1
  expect_no_key "$(folders_key)"
  verdict "the four names are gone for both runtimes. The copy records stay (-u deletes" \
    "only those whose provider version begins with 9); the AssemblyFolders value it" \
    "would delete went with the key at -i."
  ((FAILURES == 0))
}

main "$@"
