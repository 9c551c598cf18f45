# shellcheck shell=bash
# The Wine prefix recipe of the lab (scripts/wine-lab.sh) and of the guest's image, whose first boot keeps
# a fresh prefix of each kind (make-prefixes.sh). Source it; it defines functions only.

# wine_use PREFIX WINARCH: points WINE and WINESERVER at a prefix (WINARCH win32 or win64).
wine_use() {
  export WINEPREFIX=$1 WINEARCH=$2 WINEDEBUG=-all WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver
  [[ $2 == win32 ]] && WINE=$(command -v wine)
  [[ $2 == win32 || -x $WINE ]] || WINE=$(command -v wine64)
  [[ -x $WINESERVER ]] || WINESERVER=$(command -v wineserver)
}

# The version of $WINE, as a file name: the templates below are kept per version.
wine_version() { "$WINE" --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' _; }

# wine_make_prefix PREFIX WINARCH [TEMPLATES]: a fresh prefix, without the Mono and Gecko installers
# (nobody is there to answer them). wineboot takes minutes on a slow host, so its result is kept in
# TEMPLATES as WINARCH-VERSION and copied afterwards.
wine_make_prefix() {
  local prefix=$1 winarch=$2 templates=${3:-} template=
  wine_use "$prefix" "$winarch"
  # A server left running for an old prefix of that name would keep its registry.
  [[ -d $prefix ]] && { "$WINESERVER" -k 2>/dev/null || true; }
  rm -rf "$prefix" && mkdir -p "$(dirname "$prefix")"
  [[ -n $templates ]] && template=$templates/$winarch-$(wine_version)
  [[ -n $template && -f $template/system.reg ]] && { cp -a "$template" "$prefix"; return; }
  WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -w
  [[ -f $prefix/system.reg ]] || { echo "wine_make_prefix: no prefix made at $prefix" >&2; return 1; }
  [[ -z $template ]] || { rm -rf "$template" && mkdir -p "$templates" && cp -a "$prefix" "$template"; }
}
