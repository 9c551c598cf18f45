#!/usr/bin/env bash
# The job of the image's first boot, its last part: a fresh Wine prefix of each kind, made where the
# lab looks for its templates in the guest (/opt/zt4gac-wine/KIND-VERSION), since wineboot alone takes
# minutes under emulation. Both at once, one a processor.
set -u
# shellcheck source=scripts/guest/wine-prefix.sh
source "$(dirname "$0")/wine-prefix.sh"
make() {
  wine_use /opt/zt4gac-wine "$1"
  wine_make_prefix "/opt/zt4gac-wine/$1-$(wine_version)" "$1" && echo "made the $1 prefix"
}
make win32 & first=$!
make win64 & second=$!
wait "$first" && wait "$second"
