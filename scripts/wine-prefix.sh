# shellcheck shell=bash
# Wine prefixes for zt4gac: shared by the Wine end-to-end suite and the demo.
# Source this file; it defines functions and runs nothing.
#
# A prefix made here is the tool's world: a bare Wine prefix (no Mono, no Gecko) with
# Wine's own fusion.dll copied into the two .NET Framework directories, as a machine
# with the frameworks would have it. The registry keys that say which frameworks are
# installed are written by the caller, into the registry view the tool reads.

# True when this host can execute 32-bit x86 code. Some virtual machines run a kernel
# without IA-32 emulation: there no 32-bit program starts, neither the 32-bit Wine
# loader nor a 32-bit Windows program under wine64's WoW64 mode (it dies at the first
# switch to 32-bit code).
# A qemu-i386 binfmt handler makes 32-bit programs start on such a kernel, but so slowly
# (about a minute per Windows program under Wine) that it counts as no.
wine_host_runs_x86() {
  local loader=/usr/lib/wine/wine
  if [[ -f /proc/sys/fs/binfmt_misc/qemu-i386 ]] && grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
    return 1
  fi
  [[ -x $loader ]] && "$loader" --version >/dev/null 2>&1
}

# The architecture of the zt4gac.exe that can run here under Wine: i686 (the shipped
# build) where 32-bit code runs, else x86_64 (the same sources built for 64-bit Windows).
wine_tool_arch() {
  if wine_host_runs_x86; then echo i686; else echo x86_64; fi
}

# wine_use PREFIX WINARCH: points the wine commands (WINE, WINESERVER) at a prefix.
# WINARCH is win32 or win64.
wine_use() {
  export WINEPREFIX=$1 WINEARCH=$2 WINEDEBUG=-all
  if [[ $2 == win32 ]]; then
    WINE=$(command -v wine)
  elif [[ -x /usr/lib/wine/wine64 ]]; then
    WINE=/usr/lib/wine/wine64
  else
    WINE=$(command -v wine64)
  fi
  if [[ -x /usr/lib/wine/wineserver ]]; then
    WINESERVER=/usr/lib/wine/wineserver
  else
    WINESERVER=$(command -v wineserver)
  fi
  export WINE WINESERVER
}

# The Windows form (drive Z:) of a host path, for arguments of Windows programs.
wine_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s\n' "${path//\//\\}"
}

# wine_make_prefix PREFIX WINARCH [TEMPLATES]: a fresh prefix, made without the Mono and
# Gecko installers (no display and no standard input in CI to answer them). With a
# TEMPLATES directory, the untouched result of wineboot is kept there per Wine version
# and copied on later calls: wineboot takes minutes on a slow host, a copy seconds.
wine_make_prefix() {
  local prefix=$1 winarch=$2 templates=${3:-} template=
  wine_use "$prefix" "$winarch"
  # A server left running for an old prefix of that name would keep its registry.
  [[ -d $prefix ]] && { "$WINESERVER" -k 2>/dev/null || true; }
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  if [[ -n $templates ]]; then
    template=$templates/$winarch-$("$WINE" --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' _)
    if [[ -f $template/system.reg ]]; then
      cp -a "$template" "$prefix"
      return 0
    fi
  fi
  WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -w
  [[ -f $prefix/system.reg ]] || { echo "wine_make_prefix: no prefix made at $prefix" >&2; return 1; }
  if [[ -n $template ]]; then
    rm -rf "$template"
    mkdir -p "$templates"
    cp -a "$prefix" "$template"
  fi
}

# wine_add_frameworks PREFIX ARCH: Wine's fusion.dll of ARCH (i686 or x86_64) as the
# fusion.dll of .NET Framework 2.0 and 4.0.
wine_add_frameworks() {
  local prefix=$1 arch=$2 fusion dir
  case $arch in
    i686) fusion=/usr/lib/i386-linux-gnu/wine/i386-windows/fusion.dll ;;
    x86_64) fusion=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/fusion.dll ;;
    *) echo "wine_add_frameworks: unknown architecture $arch" >&2; return 1 ;;
  esac
  [[ -f $fusion ]] || { echo "wine_add_frameworks: $fusion is missing" >&2; return 1; }
  for dir in v2.0.50727 v4.0.30319; do
    mkdir -p "$prefix/drive_c/windows/Microsoft.NET/Framework/$dir"
    cp "$fusion" "$prefix/drive_c/windows/Microsoft.NET/Framework/$dir/fusion.dll"
  done
}

# wine_tool_view_root WINARCH TOOL_ARCH: the HKLM software root, as a 64-bit regedit
# sees it, that a TOOL_ARCH program reads in a WINARCH prefix. A 32-bit program in a
# 64-bit prefix sees the 32-bit view, stored below WOW6432Node.
wine_tool_view_root() {
  if [[ $1 == win64 && $2 == i686 ]]; then
    echo 'HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node'
  else
    echo 'HKEY_LOCAL_MACHINE\SOFTWARE'
  fi
}

# wine_reg_import FILE: imports a .reg file (UTF-8 text, [-KEY] deletes a key) with
# regedit. In a 64-bit prefix regedit is 64-bit, so the 32-bit view is written through
# its WOW6432Node paths.
wine_reg_import() {
  "$WINE" regedit /S "$(wine_path "$1")"
}

# wine_reg_export KEY: the key and everything below it as .reg text (UTF-8, no CR);
# nothing when the key does not exist.
wine_reg_export() {
  local file
  file=$(mktemp --suffix=.reg)
  rm -f "$file"
  "$WINE" regedit /E "$(wine_path "$file")" "$1" >/dev/null 2>&1 || true
  if [[ -s $file ]]; then
    iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'
  fi
  rm -f "$file"
}
