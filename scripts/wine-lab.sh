# shellcheck shell=bash
# The Wine lab of zt4gac, shared by the demo and the Wine end-to-end suite: a Wine prefix
# that looks like a Windows machine with .NET Framework 2.0 and 4.0, the product copy
# "Zt4Home1" laid out and registered, and the two ways to look at what the tool did (the
# GAC store's folders and registry exports). Source it; it defines functions and runs nothing.
#
#   wine_where                  where the shipped i686 exe runs here: native, guest or x86_64
#   lab_init DIR ARCH [TOOL [WINARCH]]  where the lab lives, the tool's architecture, zt4gac.exe,
#                               the prefix's kind
#   lab_build                   the tool, the test DLLs and the assemblies
#   lab_assemblies              the strong-named test assemblies (Mono mcs, -sdk:2 / -sdk:4)
#   lab_prefix [TEMPLATES]      a fresh prefix with Wine's fusion.dll as the frameworks'
#   lab_reset                   the baseline: empty GAC, the copy laid out and registered
#   lab_gac / lab_registry      what the tool changed, one line per entry
#   lab_products NAME           the product codes of the installed products named NAME
#   lab_short PATH              the 8.3 short form Wine gives PATH
#   lab_tool ARGS...            runs zt4gac.exe; fails unless it exits 0 and prints nothing

LAB_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# wine_use and wine_make_prefix: the prefix recipe, shared with the guest's image.
# shellcheck source=scripts/guest/wine-prefix.sh
source "$LAB_REPO/scripts/guest/wine-prefix.sh"
PROVIDER_NAMES=(Ovk.Data.Zt4 Ovk.Data.Quillmor Ovk.Data.Zt4.ASP Ovk.Data.Zt4.Entity)
V2=10.1.6.2
V4=10.1.6.4
# A later release's providers, as a product's next package ships them.
NEXT2=10.1.7.2
NEXT4=10.1.7.4
# The public key token of tests/assemblies/zt4test.snk: the store's folders carry it.
TOKEN=ecac06374d782c8a
HOME1='C:\Ovk\Zt4Home1'
COPIES='Ovk\Zt4\InstalledCopies'
FOLDERS='Microsoft\.NETFramework\AssemblyFolders\OVK.DATA.ZT4'

# ---- Wine ----------------------------------------------------------------------------------

# True when this host can execute 32-bit x86 code. Some kernels run without IA-32
# emulation: there neither the 32-bit Wine loader nor a 32-bit program under wine64 starts.
# A qemu-i386 binfmt handler makes them start, but at about a minute a program: no.
wine_host_runs_x86() {
  local qemu=/proc/sys/fs/binfmt_misc/qemu-i386
  if [[ -f $qemu ]] && grep -qx enabled "$qemu"; then
    return 1
  fi
  [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Where the shipped i686 zt4gac.exe runs under Wine here: "native" where this host runs 32-bit
# code, else "guest", the emulated 64-bit machine of scripts/guest.sh, whose kernel does. The
# x86_64 build under wine64 ("x86_64", not shipped) is the quick look of a host that runs no
# 32-bit code. ZT4GAC_WINE_WHERE=native|guest|x86_64 forces the choice.
wine_where() {
  if [[ -n ${ZT4GAC_WINE_WHERE:-} ]]; then
    echo "$ZT4GAC_WINE_WHERE"
  elif wine_host_runs_x86; then
    echo native
  else
    echo guest
  fi
}

# The Windows form (drive Z:) of a host path.
wine_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s\n' "${path//\//\\}"
}

# wine_reg_import FILE: imports a .reg file. In a 64-bit prefix reg.exe is 64-bit, so the
# 32-bit view is written through its WOW6432Node paths. reg.exe rather than regedit: they read
# and write the same files, and regedit, a windowed program, takes seconds more a run where
# the machine is emulated.
wine_reg_import() {
  "$WINE" reg import "$(wine_path "$1")" </dev/null >/dev/null 2>&1
}

# wine_reg_export KEY: the key and everything below it as .reg text (UTF-8, no CR);
# nothing when the key does not exist.
wine_reg_export() {
  local file
  file=$(mktemp --suffix=.reg)
  rm -f "$file"
  "$WINE" reg export "$1" "$(wine_path "$file")" /y </dev/null >/dev/null 2>&1 || true
  [[ -s $file ]] && iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'
  rm -f "$file"
}

# ---- the lab -------------------------------------------------------------------------------

# lab_init DIR ARCH [TOOL [WINARCH]]: the lab's folder, the tool's architecture (i686 or x86_64),
# zt4gac.exe (default: what lab_build puts into DIR) and the prefix's (win32, the default for
# i686, or win64). VIEW is the HKLM software root the tool reads, as reg.exe of that prefix
# writes it: the i686 tool in a 64-bit prefix runs under WoW64 and sees the 32-bit view.
# OTHER_VIEW is then the 64-bit view, which the lab fills otherwise than the 32-bit one, so
# that a call of the tool that strays into it shows.
lab_init() {
  LAB=$1 LAB_ARCH=$2 TOOL=${3:-$1/bin/zt4gac.exe} WINARCH=${4:-win32}
  [[ $LAB_ARCH == x86_64 ]] && WINARCH=win64
  ASSEMBLIES=$LAB/assemblies
  SCRATCH=$LAB/scratch
  PREFIX=$LAB/$WINARCH
  DRIVE_C=$PREFIX/drive_c
  VIEW='HKEY_LOCAL_MACHINE\SOFTWARE' OTHER_VIEW=
  if [[ $LAB_ARCH == i686 && $WINARCH == win64 ]]; then
    VIEW='HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node' OTHER_VIEW='HKEY_LOCAL_MACHINE\SOFTWARE'
  fi
  mkdir -p "$SCRATCH"
}

# lab_build_assembly OUTDIR NAME VERSION RUNTIME: one test provider assembly, built by Mono's
# mcs for RUNTIME 2 or 4 (-sdk:2 / -sdk:4 set the metadata version v2.0.50727 / v4.0.30319)
# and strong-named with the committed test key.
lab_build_assembly() {
  local sources=$LAB_REPO/tests/assemblies info status
  mkdir -p "$1"
  info=$(mktemp --suffix=.cs)
  printf 'using System.Reflection;\n[assembly: AssemblyTitle("%s")]\n' "$2" >"$info"
  printf '[assembly: AssemblyVersion("%s")]\n[assembly: AssemblyFileVersion("%s")]\n' "$3" "$3" >>"$info"
  mcs -nologo -target:library -sdk:"$4" -keyfile:"$sources/zt4test.snk" -out:"$1/$2.dll" \
    "$sources/Provider.cs" "$info"
  status=$?
  rm -f "$info"
  return $status
}

# The four providers for each runtime as a release lays them out, release1/netf20_32 and
# release1/netf40_32, those of the next release in release2/, and an older
# "Ovk.Data.Quillmor" that another product would have put into the cache.
lab_assemblies() {
  local name
  rm -rf "$ASSEMBLIES"
  for name in "${PROVIDER_NAMES[@]}"; do
    lab_build_assembly "$ASSEMBLIES/release1/netf20_32" "$name" "$V2" 2 || return
    lab_build_assembly "$ASSEMBLIES/release1/netf40_32" "$name" "$V4" 4 || return
    lab_build_assembly "$ASSEMBLIES/release2/netf20_32" "$name" "$NEXT2" 2 || return
    lab_build_assembly "$ASSEMBLIES/release2/netf40_32" "$name" "$NEXT4" 4 || return
  done
  lab_build_assembly "$ASSEMBLIES/quillmor-8.1.0.0" Ovk.Data.Quillmor 8.1.0.0 2
}

# lab_preset: the CMake preset that builds the tool for the lab's architecture.
lab_preset() { [[ $LAB_ARCH == i686 ]] && echo windows-x86 || echo windows-x64; }

# lab_build: zt4gac.exe and the platform contract test in LAB/bin, the DLLs of the case that plants
# DLLs in LAB/plant, and the test assemblies; no packages yet. The build's output: LAB/build.log.
lab_build() {
  local preset build
  preset=$(lab_preset) build=$LAB_REPO/build/$preset
  mkdir -p "$LAB/bin" "$LAB/plant" && rm -rf "$SCRATCH"/package?*
  (cd "$LAB_REPO" && cmake --preset "$preset" && cmake --build --preset "$preset" -j 2) >"$LAB/build.log" 2>&1 &&
    cp "$build/src/zt4gac.exe" "$build/tests/windows/zt4gac_platform_tests.exe" "$LAB/bin/" &&
    cp "$build"/tests/windows/plant_*.dll "$LAB/plant/" || { tail -30 "$LAB/build.log" >&2 && return 1; }
  lab_assemblies >"$SCRATCH/assemblies.log" 2>&1 || { cat "$SCRATCH/assemblies.log" >&2 && return 1; }
}

# Wine's own fusion.dll for the tool's architecture; its other DLLs lie beside it.
lab_wine_fusion() {
  if [[ $LAB_ARCH == i686 ]]; then
    echo /usr/lib/i386-linux-gnu/wine/i386-windows/fusion.dll
  else
    echo /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/fusion.dll
  fi
}

# lab_prefix [TEMPLATES]: a fresh prefix with Wine's own fusion.dll as that of .NET
# Framework 2.0 and 4.0; its server stays up between the programs of a run.
lab_prefix() {
  local dir
  [[ -d $PREFIX ]] && lab_stop
  wine_make_prefix "$PREFIX" "$WINARCH" "${1:-}"
  for dir in v2.0.50727 v4.0.30319; do
    mkdir -p "$DRIVE_C/windows/Microsoft.NET/Framework/$dir"
    cp "$(lab_wine_fusion)" "$DRIVE_C/windows/Microsoft.NET/Framework/$dir/"
  done
  # The server and the prefix's background programs must not hold the caller's output
  # open, or a pipe reading it would wait for them.
  "$WINESERVER" -p60 </dev/null >/dev/null 2>&1 || true
  "$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

lab_stop() {
  wine_use "$PREFIX" "$WINARCH"
  "$WINESERVER" -k 2>/dev/null || true
}

# The host path of a C:\ path.
lab_unix_path() {
  local path=${1#[Cc]:}
  printf '%s%s\n' "$DRIVE_C" "${path//\\//}"
}

# Backslashes doubled, as .reg string data needs them.
lab_reg_text() { printf '%s' "${1//\\/\\\\}"; }

# lab_reg_apply: imports the .reg body on standard input (UTF-8), keys relative to VIEW unless
# they start with HKEY_.
# reg.exe reads a file without a byte order mark in the ANSI code page: UTF-16 keeps
# letters beyond ASCII whole.
lab_reg_apply() {
  local root
  root=$(lab_reg_text "$VIEW")
  { printf 'Windows Registry Editor Version 5.00\n\n'; sed "/^\[-\?HKEY_/!s/^\[\(-\?\)/[\1$root\\\\/"; } |
    iconv -f UTF-8 -t UTF-16 >"$SCRATCH/apply.reg"
  wine_reg_import "$SCRATCH/apply.reg"
}

# lab_layout DIR: a product copy at DIR with the providers in bin\netf20_32 and
# bin\netf40_32. bin\netf20 and bin\netf40 hold files that are no assemblies: a tool that
# took the wrong folders would fail.
lab_layout() {
  local dir name
  dir=$(lab_unix_path "$1")
  rm -rf "$dir"
  mkdir -p "$dir/bin/netf20_32" "$dir/bin/netf40_32" "$dir/bin/netf20" "$dir/bin/netf40"
  cp -r "$ASSEMBLIES"/release1/* "$dir/bin/"
  for name in "${PROVIDER_NAMES[@]}"; do
    echo "not an assembly" | tee "$dir/bin/netf20/$name.dll" >"$dir/bin/netf40/$name.dll"
  done
}

# lab_register COPY DIR: the product copy COPY installed at DIR.
lab_register() {
  printf '[%s\\%s]\n"Zt4 Path Name"="%s"\n' "$COPIES" "$1" "$(lab_reg_text "$2")" | lab_reg_apply
}

# lab_reset: no Ovk assembly in the GAC; the copy "Zt4Home1" at C:\Ovk\Zt4Home1, laid out
# and registered; the provider's AssemblyFolders key with its value; .NET Framework 2.0 and
# 4.0 registered.
lab_reset() {
  rm -rf "$DRIVE_C"/windows/assembly/GAC*/Ovk.* "$DRIVE_C"/windows/Microsoft.NET/assembly/GAC*/Ovk.*
  rm -rf "$DRIVE_C/Ovk" "$DRIVE_C/windows/Microsoft.NET/Framework/v9.9.1"
  lab_layout "$HOME1" || return
  local bin
  bin=$(lab_reg_text "$HOME1\\bin")
  {
    printf '[-Ovk]\n\n[-%s]\n\n[-Microsoft\\.NETFramework\\policy]\n\n' "$FOLDERS"
    printf '[Microsoft\\.NETFramework\\policy\\v2.0]\n"50727"="50727-50727"\n\n'
    printf '[Microsoft\\.NETFramework\\policy\\v4.0]\n"30319"="30319-30319"\n\n'
    printf '[%s]\n@="%s"\n"Ovk.Data.Zt4"="%s"\n\n' "$FOLDERS" "$bin" "$bin"
    printf '[%s\\Zt4Home1]\n"Zt4 Path Name"="%s"\n' "$COPIES" "$(lab_reg_text "$HOME1")"
    # The 64-bit view unlike the 32-bit one, so that a call of the tool that strays into it shows:
    # no .NET 4.0, no folders key, a version-8 marker (whose copy is nowhere), and the directory
    # registered under another copy name.
    if [[ -n $OTHER_VIEW ]]; then
      printf '\n[-%s\\Ovk]\n\n[-%s\\Microsoft\\.NETFramework\\policy]\n\n' "$OTHER_VIEW" "$OTHER_VIEW"
      printf '[%s\\Microsoft\\.NETFramework\\policy\\v2.0]\n"50727"="50727-50727"\n\n' "$OTHER_VIEW"
      printf '[%s\\Ovk\\Zt4\\CurrentVersion]\n"Version"="8"\n\n' "$OTHER_VIEW"
      printf '[%s\\%s\\Zt4Home64]\n"Zt4 Path Name"="%s"\n' "$OTHER_VIEW" "$COPIES" "$(lab_reg_text "$HOME1")"
    fi
  } | lab_reg_apply
}

# lab_cache FILE VERSION: puts an assembly into the 2.0 store as fusion.dll keeps it,
# without the tool: what another product's installation leaves behind.
lab_cache() {
  local name
  name=$(basename "$1" .dll)
  mkdir -p "$DRIVE_C/windows/assembly/GAC_MSIL/$name/${2}__$TOKEN"
  cp "$1" "$DRIVE_C/windows/assembly/GAC_MSIL/$name/${2}__$TOKEN/"
}

# ---- observations --------------------------------------------------------------------------

# The Ovk assemblies in the GAC, "RUNTIME NAME VERSION" a line, sorted, read from the
# stores' folders: windows\assembly\GAC_MSIL\NAME\VERSION__TOKEN\NAME.dll for 2.0 and
# windows\Microsoft.NET\assembly\GAC_MSIL\NAME\v4.0_VERSION__TOKEN\NAME.dll for 4.0.
lab_gac() {
  local store runtime
  for store in assembly:2.0 Microsoft.NET/assembly:4.0; do
    runtime=${store#*:}
    [[ -d $DRIVE_C/windows/${store%:*} ]] || continue
    (cd "$DRIVE_C/windows/${store%:*}" && find GAC* -mindepth 3 -maxdepth 3 -path '*/Ovk.*' -name '*.dll') |
      awk -F/ -v runtime="$runtime" -v token="$TOKEN" '{
        version = $3; sub(/^v4\.0_/, "", version)
        if (version !~ "__" token "$") version = version "(token?)"; else sub("__" token "$", "", version)
        print runtime, $2, version }'
  done | LC_ALL=C sort
}

# The keys the tool may touch, below VIEW: "KEY" a line per key, "KEY|NAME=DATA" per value,
# key paths relative to VIEW, data as reg.exe exports it; below OTHER_VIEW the same, each line
# starting with "(64-bit view) ". Fails when the .NET Framework's key, which every lab has,
# cannot be exported: an empty listing would hide every change. Under emulation every reg.exe of
# one listing has been seen to hand back nothing (once in three full runs, right after a repair by
# msiexec); a second try a few seconds later tells that from a registry without the key.
lab_registry() { lab_registry_once 2>/dev/null || { sleep 5 && lab_registry_once; }; }
lab_registry_once() {
  local view ovk net mark= lines=
  for view in "$VIEW" ${OTHER_VIEW:+"$OTHER_VIEW"}; do
    ovk=$(wine_reg_export "$view\\Ovk") net=
    # The tool only takes away below .NETFramework, and the 64-bit view has nothing of it to take.
    if [[ $view == "$VIEW" ]]; then
      net=$(wine_reg_export "$view\\Microsoft\\.NETFramework")
      [[ -n $net ]] || { echo "lab_registry: no export of $view\\Microsoft\\.NETFramework" >&2; return 1; }
    fi
    lines+=$(printf '%s\n%s\n' "$ovk" "$net" |
      awk -v root="$view\\" -v mark="$mark" '
        /^\[/ { key = substr($0, 2 + length(root), length($0) - 2 - length(root)); print mark key; next }
        /^(Windows Registry Editor|REGEDIT4)/ || /^$/ { next }
        { print mark key "|" $0 }')$'\n'
    mark='(64-bit view) '
  done
  printf '%s' "$lines" | sed '/^$/d' | LC_ALL=C sort
}

# lab_tool ARGS...: runs zt4gac.exe; returns 1, saying why, unless it exits with 0 and
# prints nothing.
lab_tool() {
  local status=0
  "$WINE" "$TOOL" "$@" >"$SCRATCH/out" 2>"$SCRATCH/err" </dev/null || status=$?
  if ((status != 0)) || [[ -s $SCRATCH/out || -s $SCRATCH/err ]]; then
    echo "zt4gac $* exited with $status and printed: $(cat "$SCRATCH/out" "$SCRATCH/err" | head -c 300)" >&2
    return 1
  fi
}

# lab_products NAME: the product codes of the installed products named NAME, a line each, as
# their entries under Uninstall (in either registry view) give them.
lab_products() {
  local view
  for view in '' "Wow6432Node\\"; do
    wine_reg_export "HKEY_LOCAL_MACHINE\\Software\\${view}Microsoft\\Windows\\CurrentVersion\\Uninstall"
  done | awk -v line="\"DisplayName\"=\"$1\"" '/^\[/ { key = $0 }
    $0 == line && match(key, /\{[^}]*\}/) { print substr(key, RSTART, RLENGTH) }'
}

# lab_short DIR: the 8.3 short form of the directory DIR, as Wine's cmd gives it; fails when it
# gives none that differs. A batch file, because Wine hands cmd /c a quote as \"; and asked
# about a name inside DIR, because Wine's cmd shortens the folders of a path, not its last part.
lab_short() {
  local short
  printf '@for %%%%I in ("%s\\x") do @echo %%%%~dpsI\r\n' "$1" >"$SCRATCH/short.cmd"
  short=$("$WINE" cmd.exe /c "$(wine_path "$SCRATCH/short.cmd")" </dev/null 2>/dev/null | tr -d '\r')
  short=${short%\\}
  [[ $short == *~* ]] && echo "$short"
}
